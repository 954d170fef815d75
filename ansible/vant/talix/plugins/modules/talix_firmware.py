#!/usr/bin/python
# -*- coding: utf-8 -*-

DOCUMENTATION = r'''
---
module: talix_firmware
short_description: Bring the firmware of a site's TALIX bridges, or of one, to a version
description:
  - Updates Vant TALIX bridges from the firmware files in C(path) that fit their hardware and
    bootloader, through one C(talixctl --json update-all PATH), the bridges in parallel; every
    bridge the search finds, or only the one of C(mac) or C(ip).
  - By default (C(state=latest)) a bridge gets the newest fitting file when it runs an older
    version. With C(version) it is brought to exactly that version, down as well as up. A bridge
    already at the version is left alone unless C(force).
  - A bridge that no file fits (an empty or wrong folder, no file of C(version)) fails the task,
    and so does one whose update failed, after the others were done. No bridge answering fails it
    too. Bootloader files in the folder are not used.
  - An update erases the firmware, programs it and restarts the bridge; it takes a while. The
    files are checked whole before any bridge is erased.
version_added: 1.2.0
extends_documentation_fragment:
  - vant.talix.network
options:
  mac:
    description:
      - MAC address of the bridge, as the search shows it (C(00:50:C2-5A:30:00)),
        colon-separated or twelve hex digits, any case.
      - Without C(mac) and C(ip), every bridge the search finds is updated.
    type: str
  ip:
    description:
      - IPv4 address of the one bridge; its MAC is found by the search first.
    type: str
  path:
    description:
      - Folder of update files (C(*.bin)) on the host the module runs on.
    type: path
    required: true
  state:
    description:
      - C(latest) updates a bridge when a newer fitting firmware is in C(path). It is what the
        module does when neither C(state) nor C(version) is given.
    type: str
    choices: [latest]
  version:
    description:
      - Bring each bridge to exactly this firmware version (C(1.0.17)), older or newer than the one
        it runs (C(talixctl update-all --to)).
    type: str
    version_added: 1.3.0
  force:
    description:
      - Program the file also on a bridge that already runs its version (C(talixctl update-all --force)).
    type: bool
    version_added: 1.3.0
    default: false
  parallel:
    description:
      - At most this many bridges updated at once (C(talixctl update-all --parallel)).
    type: int
    version_added: 1.3.0
    default: 16
attributes:
  check_mode:
    support: full
    description: Reports which bridges would be updated, and from which version to which; nothing is sent but the search and the reads.
  diff_mode:
    support: full
    description: The firmware version of each bridge that is updated, before and after.
author:
  - Brevion developers, dev@brevion.invalid (!UNKNOWN)
'''

EXAMPLES = r'''
- name: Bring a bridge's firmware up to date
  vant.talix.talix_firmware:
    mac: "00:50:C2-5A:30:00"
    path: /srv/talix-updates

- name: Bring every bridge of the site up to date, in one task
  vant.talix.talix_firmware:
    path: /srv/talix-updates
    state: latest

- name: Bring one bridge back to 1.0.17
  vant.talix.talix_firmware:
    ip: 192.168.1.20
    path: /srv/talix-updates
    version: 1.0.17
'''

RETURN = r'''
devices:
  description: One entry per bridge (every one found, or the one named).
  returned: always
  type: list
  elements: dict
  contains:
    mac:
      description: The bridge's MAC as the search shows it.
      type: str
      sample: "00:50:C2-5A:30:00"
    ip:
      description: Its address; null when it was not found.
      type: str
      sample: 192.168.1.20
    result:
      description: C(updated) (or would be, in check mode), C(unchanged), C(skipped) (no fitting file) or C(failed).
      type: str
      sample: updated
    from:
      description: The firmware version before.
      type: str
      sample: "1.0.17"
    to:
      description: The version it was updated to, or that it already runs; null when skipped.
      type: str
      sample: "1.0.18"
    error:
      description: Why it failed; null when it did not.
      type: str
mac:
  description: The bridge's MAC as the search shows it.
  returned: when C(mac) or C(ip) is given
  type: str
  sample: "00:50:C2-5A:30:00"
ip:
  description: The bridge's address.
  returned: when C(mac) or C(ip) is given
  type: str
  sample: 192.168.1.20
result:
  description: The one bridge's result, as in C(devices).
  returned: when C(mac) or C(ip) is given
  type: str
  sample: updated
from:
  description: The one bridge's firmware version before.
  returned: when C(mac) or C(ip) is given
  type: str
  sample: "1.0.17"
to:
  description: The version the one bridge was updated to, or that it already runs.
  returned: when C(mac) or C(ip) is given
  type: str
  sample: "1.0.18"
rc:
  description: C(talixctl)'s exit status.
  returned: failure
  type: int
  sample: 1
'''

import re

from ansible_collections.vant.talix.plugins.module_utils.talixctl import (
    Talixctl, TalixModule, argument_spec, mac_key)


def failures(rows, params):
    """Rows marked failed: those that failed, and those no file fits (skipped)."""
    wanted = 'of version %s ' % params['version'] if params['version'] else ''
    for row in rows:
        if row['result'] == 'skipped':
            row['result'] = 'failed'
            row['error'] = 'no firmware file %sin %s fits its hardware and bootloader' % (wanted, params['path'])
    return rows


def main():
    module = TalixModule(
        argument_spec=argument_spec(
            mac=dict(type='str'),
            ip=dict(type='str'),
            path=dict(type='path', required=True),
            state=dict(type='str', choices=['latest']),
            version=dict(type='str'),
            force=dict(type='bool', default=False),
            parallel=dict(type='int', default=16),
        ),
        mutually_exclusive=[('mac', 'ip'), ('state', 'version')],
        supports_check_mode=True,
    )
    p = module.params
    if p['version'] and not re.fullmatch(r'\d{1,3}\.\d{1,3}\.\d{1,3}', p['version']):
        module.fail_json(msg='version "%s" is not a firmware version such as 1.0.17.' % p['version'])
    if p['mac'] and mac_key(p['mac']) is None:
        module.fail_json(msg='"%s" is not a MAC address.' % p['mac'])
    tool = Talixctl(module)
    mac = p['mac']
    if p['ip']:
        mac = next((r['mac'] for r in tool.inventory() if r.get('ip') == p['ip']), None)
        if mac is None:
            module.fail_json(msg='No bridge answered the search at %s (%s).' % (p['ip'], tool.where()), rc=1)
    args = ['update-all', p['path'], '--parallel', p['parallel']]
    args += ['--only', mac_key(mac)] if mac else []
    args += ['--to', p['version']] if p['version'] else []
    args += ['--force'] if p['force'] else []
    args += ['--check'] if module.check_mode else []
    rows = failures(tool.fleet_rows(*tool.run(*args)), p)
    if not rows:
        module.fail_json(msg='No bridge answered the search (%s).' % tool.where(), rc=1)
    result = dict(changed=any(r['result'] == 'updated' for r in rows), devices=rows)
    if mac:
        result.update((k, rows[0].get(k)) for k in ('mac', 'ip', 'result', 'from', 'to'))
    if module._diff:
        result['diff'] = [dict(before='FirmVer: %s\n' % r['from'], after='FirmVer: %s\n' % r['to'],
                               before_header='%s %s' % (r['mac'], r['ip']), after_header='%s %s' % (r['mac'], r['ip']))
                          for r in rows if r['result'] == 'updated']
    tool.fail_failed(rows, 'the others were done', **result)
    module.exit_json(**result)


if __name__ == '__main__':
    main()
