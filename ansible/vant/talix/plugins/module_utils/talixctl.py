# -*- coding: utf-8 -*-
# Runs talixctl on the host the module runs on and reads its JSON.

from __future__ import absolute_import, division, print_function

__metaclass__ = type

import json
import os
import re
import tempfile

# The options every module of the collection takes; the defaults are the bridges' own.
NETWORK_ARGUMENT_SPEC = dict(
    port=dict(type='int', default=2362),
    local_port=dict(type='int', default=2362),
    broadcast=dict(type='str', default='255.255.255.255'),
)

# Exit status of talixctl's fleet commands.
RC_OK = 0
RC_FAILED = 1
RC_DIFFERS = 5


def mac_key(text):
    """The twelve hex digits of a MAC in upper case, as talixctl names bridges; None when the
    text (discovery form, colon-separated or bare digits) is no MAC."""
    digits = re.sub(r'[:\-]', '', text or '').upper()
    return digits if re.fullmatch(r'[0-9A-F]{12}', digits) else None


def argument_spec(**extra):
    options = dict(NETWORK_ARGUMENT_SPEC)
    options.update(extra)
    return options


class Talixctl:
    """talixctl --json with the module's port, local port and broadcast address."""

    def __init__(self, module):
        self.module = module
        self.path = module.get_bin_path('talixctl', required=True)
        self.temp_files = []

    def run(self, *args):
        """(rc, parsed JSON or None, stdout, stderr)."""
        p = self.module.params
        cmd = [self.path, '--port', str(p['port']), '--local-port', str(p['local_port']),
               '--broadcast', p['broadcast'], '--json'] + [str(a) for a in args]
        rc, out, err = self.module.run_command(cmd)
        data = None
        if out.strip():
            try:
                data = json.loads(out)
            except ValueError:
                data = None
        return rc, data, out, err

    def fail(self, rc, err, out='', error=None, **result):
        """Fails the task with what the tool said: a bridge's error, else its stderr."""
        msg = error or (err or '').strip() or 'talixctl exited with status %d' % rc
        # The task's own values went through a temporary file whose name means nothing to the user.
        for path in self.temp_files:
            msg = msg.replace(path + ': ', '')
        self.module.fail_json(msg=msg, rc=rc, stderr=err, stdout=out, **result)

    def temp_json(self, value):
        """A JSON file in the module's temporary folder (removed with it when the module exits)."""
        fd, path = tempfile.mkstemp(suffix='.json', dir=self.module.tmpdir)
        with os.fdopen(fd, 'w') as f:
            json.dump(value, f)
        self.temp_files.append(path)
        return path

    def inventory(self):
        rc, data, out, err = self.run('inventory')
        # Exit 1 still lists every bridge; rows that could not be read carry their error.
        if rc not in (RC_OK, RC_FAILED) or not isinstance(data, list):
            self.fail(rc, err, out)
        return data

    def resolve_mac(self, ip):
        """The MAC of the bridge that answers at ip, from the inventory."""
        for row in self.inventory():
            if row.get('ip') == ip:
                return row['mac']
        self.module.fail_json(msg='No bridge answered the search at %s.' % ip, rc=RC_FAILED)

    def device_row(self, rc, data, out, err, mac):
        """The row of mac in a fleet command's JSON; fails the task on a usage error, a bad
        input file, or a bridge that failed."""
        rows = data.get('devices') if isinstance(data, dict) else None
        if rc not in (RC_OK, RC_FAILED) or not isinstance(rows, list):
            self.fail(rc, err, out)
        key = mac_key(mac)
        row = next((r for r in rows if mac_key(r.get('mac')) == key), None)
        if row is None:
            self.fail(rc, err, out, error='%s is not in talixctl\'s answer.' % mac)
        if row.get('result') == 'failed':
            self.fail(rc or RC_FAILED, err, out, error='%s: %s' % (row.get('mac'), row.get('error')),
                      device=row)
        return row
