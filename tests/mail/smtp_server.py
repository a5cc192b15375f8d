#!/usr/bin/python3
"""A real SMTP server on loopback for the mail client's tests.

It listens on 127.0.0.1 on a free port and writes that port to --port-file once it
accepts connections. Every connection leaves a transcript (conn-N.log: the command
lines received, "C: ...", and the replies, "S: ..."); every message taken leaves
msg-N.raw (the bytes of the DATA phase exactly as they arrived, dot-stuffing and the
closing "." line included), msg-N.eml (the message after un-stuffing) and
msg-N.json (sender, recipients, the EHLO/HELO name, the signed-in user, whether TLS
was on). Options make it behave like the servers the client must cope with:

  --tls-cert/--tls-key  offer STARTTLS with this certificate
  --require-tls         refuse mail before STARTTLS
  --auth USER:PASSWORD  offer AUTH PLAIN and LOGIN (after TLS only)
  --auth-mechanisms M   offer only these AUTH mechanisms (e.g. LOGIN)
  --refuse-rcpt ADDR    answer 550 to RCPT TO:<ADDR> (repeatable)
  --refuse-data         answer 554 to DATA
  --refuse-message      answer 554 to the closing "." of a message
  --refuse-hello NAME   answer 501 to EHLO and HELO with this name
  --no-ehlo             answer 500 to EHLO (an old server)
  --stall WHEN          stop answering: at the greeting, after DATA's content, or
                        at RCPT TO
  --data-before-tls     after "220 Ready to start TLS" also send a fake reply in
                        plain text (a man-in-the-middle trick)

It runs until it gets SIGTERM.
"""
import argparse
import asyncio
import json
import os
import signal
import ssl
import sys

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword


class Recorder:
    def __init__(self, folder):
        self.folder = folder
        self.connections = 0
        self.messages = 0

    def path(self, name):
        return os.path.join(self.folder, name)


class Handler:
    def __init__(self, opts, recorder):
        self.opts = opts
        self.recorder = recorder

    async def handle_EHLO(self, server, session, envelope, hostname, responses):
        if self.opts.refuse_hello and hostname == self.opts.refuse_hello:
            return ['501 5.5.4 Bad greeting name']
        session.host_name = hostname
        return responses

    async def handle_HELO(self, server, session, envelope, hostname):
        if self.opts.refuse_hello and hostname == self.opts.refuse_hello:
            return '501 5.5.4 Bad greeting name'
        session.host_name = hostname
        return '250 {}'.format(server.hostname)

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if self.opts.stall == 'rcpt':
            await asyncio.sleep(3600)
        if address in (self.opts.refuse_rcpt or []):
            return '550 5.1.1 <{}>: Recipient address rejected'.format(address)
        envelope.rcpt_tos.append(address)
        return '250 OK'

    async def handle_DATA(self, server, session, envelope):
        if self.opts.stall == 'data':
            await asyncio.sleep(3600)
        if self.opts.refuse_message:
            return '554 5.7.1 Message refused'
        rec = self.recorder
        rec.messages += 1
        n = rec.messages
        with open(rec.path('msg-{}.raw'.format(n)), 'wb') as f:
            f.write(bytes(server.raw_data))
        with open(rec.path('msg-{}.eml'.format(n)), 'wb') as f:
            f.write(envelope.original_content)
        info = {
            'mail_from': envelope.mail_from,
            'rcpt_tos': envelope.rcpt_tos,
            'hello': session.host_name,
            'user': session.auth_data.login.decode() if session.authenticated and session.auth_data else None,
            'tls': server._tls_protocol is not None,
        }
        with open(rec.path('msg-{}.json'.format(n)), 'w') as f:
            json.dump(info, f)
        return '250 2.0.0 Message accepted'


class TestSMTP(SMTP):
    """Adds the transcript, the raw DATA bytes and the misbehaviours to SMTP."""

    def __init__(self, handler, opts, recorder, **kw):
        super().__init__(handler, **kw)
        self.opts = opts
        self.recorder = recorder
        self.raw_data = bytearray()
        self.in_data = False
        self.log = None

    def connection_made(self, transport):
        first = self.transport is None
        super().connection_made(transport)
        if first:
            self.recorder.connections += 1
            self.log = open(self.recorder.path('conn-{}.log'.format(self.recorder.connections)), 'w', buffering=1)
            reader = self._reader
            read_until = reader.readuntil
            read_line = reader.readline

            async def rec_until(sep=b'\n'):
                line = await read_until(sep)
                self.note(line)
                return line

            async def rec_line():
                line = await read_line()
                self.note(line)
                return line
            reader.readuntil = rec_until
            reader.readline = rec_line

    def note(self, line):
        if self.in_data:
            self.raw_data += line
        elif self.log:
            self.log.write('C: ' + line.decode('utf-8', 'replace').rstrip('\r\n') + '\n')

    async def push(self, status):
        if self.log:
            text = status.decode('utf-8', 'replace') if isinstance(status, bytes) else status
            self.log.write('S: ' + text + '\n')
        await super().push(status)
        if self.opts.data_before_tls and status == '220 Ready to start TLS':
            self.transport.write(b'250 fake reply in plain text\r\n')

    async def _handle_client(self):
        if self.opts.stall == 'greeting':
            await asyncio.sleep(3600)
            return
        await super()._handle_client()

    async def smtp_EHLO(self, hostname):
        if self.opts.no_ehlo:
            await self.push('500 5.5.2 Error: command "EHLO" not recognized')
            return
        await super().smtp_EHLO(hostname)

    async def smtp_DATA(self, arg):
        if self.opts.refuse_data:
            await self.push('554 5.5.1 Error: no valid recipients')
            return
        self.raw_data = bytearray()
        self.in_data = True
        try:
            await super().smtp_DATA(arg)
        finally:
            self.in_data = False


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('--port-file', required=True)
    ap.add_argument('--record-dir', required=True)
    ap.add_argument('--tls-cert')
    ap.add_argument('--tls-key')
    ap.add_argument('--require-tls', action='store_true')
    ap.add_argument('--auth')
    ap.add_argument('--auth-mechanisms')
    ap.add_argument('--refuse-rcpt', action='append')
    ap.add_argument('--refuse-data', action='store_true')
    ap.add_argument('--refuse-message', action='store_true')
    ap.add_argument('--refuse-hello')
    ap.add_argument('--no-ehlo', action='store_true')
    ap.add_argument('--stall', choices=['greeting', 'data', 'rcpt'])
    ap.add_argument('--data-before-tls', action='store_true')
    opts = ap.parse_args()

    recorder = Recorder(opts.record_dir)
    handler = Handler(opts, recorder)
    kw = {'data_size_limit': None, 'hostname': 'test.server', 'ident': 'loopback test server'}
    if opts.tls_cert:
        ctx = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        ctx.load_cert_chain(opts.tls_cert, opts.tls_key)
        kw['tls_context'] = ctx
        kw['require_starttls'] = opts.require_tls
    if opts.auth:
        user, password = opts.auth.split(':', 1)

        def authenticator(server, session, envelope, mechanism, data):
            ok = isinstance(data, LoginPassword) and data.login == user.encode() and data.password == password.encode()
            return AuthResult(success=ok, handled=False, auth_data=data if ok else None)
        kw['authenticator'] = authenticator
        kw['auth_require_tls'] = True
        if opts.auth_mechanisms:
            keep = set(opts.auth_mechanisms.split(','))
            kw['auth_exclude_mechanism'] = [m for m in ('PLAIN', 'LOGIN') if m not in keep]
    else:
        # Without --auth no AUTH is offered at all.
        kw['auth_exclude_mechanism'] = ['PLAIN', 'LOGIN']

    loop = asyncio.new_event_loop()
    asyncio.set_event_loop(loop)
    server = loop.run_until_complete(loop.create_server(
        lambda: TestSMTP(handler, opts, recorder, loop=loop, **kw), host='127.0.0.1', port=0))
    port = server.sockets[0].getsockname()[1]
    tmp = opts.port_file + '.tmp'
    with open(tmp, 'w') as f:
        f.write(str(port))
    os.rename(tmp, opts.port_file)
    loop.add_signal_handler(signal.SIGTERM, loop.stop)
    loop.run_forever()
    server.close()
    return 0


if __name__ == '__main__':
    sys.exit(main())
