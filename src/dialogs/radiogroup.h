// TRadioGroup: a titled group of radio buttons, one per item, of which at most one
// is checked. ItemIndex is the checked item's position (-1: none), so a caller sets
// and reads the choice by number.
#pragma once

#include <QGroupBox>
#include <QStringList>
#include <vector>

class QButtonGroup;
class QRadioButton;
class QVBoxLayout;

class TRadioGroup : public QGroupBox {
  Q_OBJECT
 public:
  explicit TRadioGroup(const QString& title, const QStringList& items = {}, QWidget* parent = nullptr);

  // The item texts, in order. setItems replaces every button (none checked after).
  QStringList Items() const { return items_; }
  void setItems(const QStringList& items);

  // Position of the checked item, -1 when none is checked.
  int ItemIndex() const;
  // Checks item `index`; an index outside the items unchecks them all.
  void setItemIndex(int index);

  // The radio button of item `index` (named "Item<index>"), nullptr when out of range.
  QRadioButton* Button(int index) const;

 signals:
  // The user or setItemIndex changed the checked item.
  void itemIndexChanged(int index);

 private:
  QStringList items_;
  std::vector<QRadioButton*> buttons_;
  QButtonGroup* group_;
  QVBoxLayout* layout_;
};
