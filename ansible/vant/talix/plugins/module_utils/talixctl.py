# -*- coding: utf-8 -*-
# Runs talixctl on the host the module runs on and reads its JSON; keeps the bridges' passwords
# out of everything a module returns or logs.

import json
import os
import re
import tempfile

from ansible.module_utils.basic import AnsibleModule

# The options every module of the collection takes; the defaults are the bridges' own.
NETWORK_ARGUMENT_SPEC = dict(
    port=dict(type='int', default=2362),
    local_port=dict(type='int', default=2362),
    broadcast=dict(type='str', default='255.255.255.255'),
    at=dict(type='list', elements='str', default=[]),
    executable=dict(type='str', default='talixctl'),
)

# The oldest talixctl whose commands and JSON the modules rely on.
MIN_VERSION = (1, 3, 0)

# Exit status of talixctl's fleet commands.
RC_OK = 0
RC_FAILED = 1
RC_DIFFERS = 5

# Settings whose values are never shown: a changed one reads MASK before and after.
SECRET_KEYS = ('Password',)
MASK = '********'

# The settings a bridge takes, as the keys of talixctl read --json.
_RULE = dict(
    IPAddr=dict(type='str'),
    Port=dict(type='int'),
    Flags=dict(type='int'),
    IdleSecs=dict(type='int'),
)
SETTINGS_SPEC = dict(
    DHCP=dict(type='bool'),
    IPAddr=dict(type='str'),
    SubnetMask=dict(type='str'),
    Gateway=dict(type='str'),
    NetName=dict(type='str'),
    IPPort=dict(type='int'),
    BaudRate=dict(type='int'),
    Handshaking=dict(type='int'),
    UDPPort=dict(type='int'),
    OutCount=dict(type='int'),
    OutRules=dict(type='list', elements='dict', options=_RULE),
    UserPrompt=dict(type='str'),
    PassPrompt=dict(type='str', no_log=False),  # the prompt, not the password
    Username=dict(type='str'),
    Password=dict(type='str', no_log=True),
)


def mac_key(text):
    """The twelve hex digits of a MAC in upper case, as talixctl names bridges; None when the
    text (discovery form, colon-separated or bare digits) is no MAC."""
    digits = re.sub(r'[:\-]', '', text or '').upper()
    return digits if re.fullmatch(r'[0-9A-F]{12}', digits) else None


def argument_spec(**extra):
    options = dict(NETWORK_ARGUMENT_SPEC)
    options.update(extra)
    return options


def secrets_in(value):
    """Every non-empty text held under a secret key, at any depth."""
    found = set()
    if isinstance(value, dict):
        for key, item in value.items():
            if key in SECRET_KEYS:
                found.update(v for v in (item if isinstance(item, list) else [item]) if isinstance(v, str) and v)
            else:
                found.update(secrets_in(item))
    elif isinstance(value, list):
        for item in value:
            found.update(secrets_in(item))
    return found


def masked(value):
    """value with every secret replaced by MASK (a change [old, new] by [MASK, MASK])."""
    if isinstance(value, dict):
        return dict((k, ([MASK] * len(v) if isinstance(v, list) else MASK) if k in SECRET_KEYS else masked(v))
                    for k, v in value.items())
    if isinstance(value, list):
        return [masked(v) for v in value]
    return value


def settings_given(value):
    """Settings as the task gave them: keys it left out (None after the suboptions) dropped."""
    if isinstance(value, dict):
        return dict((k, settings_given(v)) for k, v in value.items() if v is not None)
    if isinstance(value, list):
        return [settings_given(v) for v in value]
    return value


def diff_of(changes, header=None):
    """Ansible's diff of talixctl's changes {field: [before, after]}, secrets masked; a secret
    that changes reads MASK before and 'MASK (changed)' after, so the diff shows the line."""
    before, after = {}, {}
    for field, (old, new) in changes.items():
        secret = field in SECRET_KEYS
        before[field] = MASK if secret else old
        after[field] = MASK + ' (changed)' if secret else new
    diff = dict(before=before, after=after)
    if header:
        diff.update(before_header=header, after_header=header)
    return diff


class TalixModule(AnsibleModule):
    """AnsibleModule whose invocation never shows a bridge's password: those inside plans and
    other free-form settings are added to the values hidden from the log and the result."""

    def _log_invocation(self):
        self.no_log_values.update(secrets_in(self.params))
        super(TalixModule, self)._log_invocation()


class Talixctl:
    """talixctl --json with the module's port, local port, search address and targets."""

    def __init__(self, module):
        self.module = module
        self.temp_files = []
        self.path = self._find(module.params['executable'])
        self._check_version()

    def _find(self, executable):
        if os.sep in executable:
            if not os.access(executable, os.X_OK) or os.path.isdir(executable):
                self.module.fail_json(msg='%s is not a program that can be run (option executable).' % executable)
            return executable
        path = self.module.get_bin_path(executable)
        if path is None:
            self.module.fail_json(msg='%s was not found on the PATH of %s; install Brevion there or give its path '
                                      'as the option executable.' % (executable, os.uname()[1]))
        return path

    def _check_version(self):
        rc, out, err = self.module.run_command([self.path, '--version'])
        found = re.search(r'(\d+)\.(\d+)\.(\d+)', out or '')
        needed = '.'.join(str(n) for n in MIN_VERSION)
        if rc != 0 or not found:
            self.module.fail_json(msg='%s --version did not tell its version; vant.talix needs talixctl %s or newer.'
                                      % (self.path, needed), rc=rc, stderr=err)
        if tuple(int(n) for n in found.groups()) < MIN_VERSION:
            self.module.fail_json(msg='%s is version %s; vant.talix needs talixctl %s or newer.'
                                      % (self.path, found.group(0), needed))

    def run(self, *args):
        """(rc, parsed JSON or None, stdout, stderr). Secrets in the answer are hidden from the
        task's result from here on."""
        p = self.module.params
        cmd = [self.path, '--port', str(p['port']), '--local-port', str(p['local_port']),
               '--broadcast', p['broadcast']]
        for target in p['at']:
            cmd += ['--at', target]
        cmd += ['--json'] + [str(a) for a in args]
        rc, out, err = self.module.run_command(cmd)
        data = None
        if out.strip():
            try:
                data = json.loads(out)
            except ValueError:
                data = None
        self.module.no_log_values.update(secrets_in(data))
        return rc, data, out, err

    def fail(self, rc, err, out='', error=None, **result):
        """Fails the task with what the tool said: a bridge's error, else its stderr."""
        msg = error or (err or '').strip() or 'talixctl exited with status %d' % rc
        # The task's own values went through a temporary file whose name means nothing to the user.
        for path in self.temp_files:
            msg = msg.replace(path + ': ', '')
        self.module.fail_json(msg=msg, rc=rc, stderr=err, stdout=out, **result)

    def temp_json(self, value):
        """An owner-only JSON file in the module's temporary folder (removed with it)."""
        fd, path = tempfile.mkstemp(suffix='.json', dir=self.module.tmpdir)
        with os.fdopen(fd, 'w') as f:
            json.dump(value, f)
        self.temp_files.append(path)
        return path

    def inventory(self, allow_empty=False):
        rc, data, out, err = self.run('inventory')
        # Exit 1 still lists every bridge; rows that could not be read carry their error.
        if rc not in (RC_OK, RC_FAILED) or not isinstance(data, list):
            self.fail(rc, err, out)
        if not data and not allow_empty:
            self.module.fail_json(msg='No bridge answered the search (%s). Check port, local_port, broadcast and '
                                      'at, and that this host is in the bridges\' network.' % self.where(), rc=rc)
        return data

    def where(self):
        p = self.module.params
        targets = ', '.join(p['at']) if p['at'] else p['broadcast']
        return 'sent to %s, port %d' % (targets, p['port'])

    def resolve_ip(self, mac):
        """The address of the bridge with this MAC, from the inventory."""
        for row in self.inventory():
            if mac_key(row.get('mac')) == mac_key(mac):
                return row['ip']
        self.module.fail_json(msg='%s did not answer the search (%s).' % (mac, self.where()), rc=RC_FAILED)

    def fleet_rows(self, rc, data, out, err):
        """The per-bridge rows of a fleet command's JSON, secrets masked; fails the task on a usage
        error or a bad input file (nothing was done)."""
        rows = data.get('devices') if isinstance(data, dict) else None
        if rc not in (RC_OK, RC_FAILED) or not isinstance(rows, list):
            self.fail(rc, err, out)
        return masked(rows)

    def fail_failed(self, rows, what, **result):
        """Fails the task, after every bridge was done, when any bridge failed."""
        failed = [r for r in rows if r.get('result') == 'failed']
        if failed:
            result.setdefault('devices', rows)
            self.module.fail_json(
                msg='%d of %d bridges failed (%s): %s' % (
                    len(failed), len(rows), what,
                    '; '.join('%s: %s' % (r.get('mac'), r.get('error')) for r in failed)),
                rc=RC_FAILED, **result)
