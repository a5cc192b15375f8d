// Shared helpers for the library tests: a temporary folder, file trees to add and
// compare, data of known kinds.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>

#include "support/temp_dir.h"
#include "ziplibs/ziplib_client.h"

namespace ziptest {

// Text that deflate shrinks (words), and bytes it does not (pseudo-random).
std::string textData(std::size_t size, unsigned seed = 1);
std::string randomData(std::size_t size, unsigned seed = 1);

// Every file, folder ("name/") and link ("name" -> "@target") below root, with
// file contents (digest() of them).
std::map<std::string, std::string> readTree(const std::string& root);
std::string digest(const std::string& data);

void writeFile(const std::string& path, const std::string& data);
std::string fileBytes(const std::string& path);
bool exists(const std::string& path);
// Names of temporary files the libraries left below root (should be none).
std::vector<std::string> leftovers(const std::string& root);

class ZipLibTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!lib.loaded()) GTEST_SKIP() << "libraries not found: " << lib.loadError();
  }
  std::string path(const std::string& name) const { return tmp / name; }
  // A small tree under tmp/src: text, random, empty, nested, hidden files.
  void makeSourceTree();

  testsupport::TempDir tmp;
  ZipLibClient lib;
};

}  // namespace ziptest
