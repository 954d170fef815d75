#!/usr/bin/python
# -*- coding: utf-8 -*-

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r'''
---
module: talix_settings
short_description: Bring a TALIX bridge's settings to the given values
description:
  - Writes settings to one Vant TALIX bridge only where they differ from its current ones, so a
    second run of the same task changes nothing.
  - With C(mac), runs C(talixctl --json apply) on a plan naming that bridge; with C(ip), runs
    C(talixctl --json diff), then C(talixctl write) when something differs.
  - Settings the task leaves out keep the bridge's current values.
  - A value the bridge would refuse fails the task with C(talixctl)'s message before anything is
    sent.
version_added: 1.2.0
extends_documentation_fragment:
  - vant.talix.network
options:
  mac:
    description:
      - MAC address of the bridge, as the search shows it (C(00:50:C2-5A:30:00)),
        colon-separated or twelve hex digits, any case.
      - The bridge is found by the search, wherever its address is.
      - Exactly one of C(mac) and C(ip) is given.
    type: str
  ip:
    description:
      - IPv4 address of the bridge, talked to directly without a search.
      - Exactly one of C(mac) and C(ip) is given.
    type: str
  settings:
    description:
      - The settings to have, with the keys of C(talixctl read --json) (C(NetName), C(BaudRate),
        C(Handshaking), C(IPPort), C(OutRules), ...).
    type: dict
    required: true
  reboot:
    description:
      - Restart the bridge after it has saved changed settings (needed for network settings to
        take effect). Nothing is restarted when nothing changed.
    type: bool
    default: false
attributes:
  check_mode:
    support: full
    description: Reports what would change; nothing is sent to the bridge but the reads.
  diff_mode:
    support: full
    description: The changed settings, before and after.
author:
  - Brevion developers
'''

EXAMPLES = r'''
- name: Name a bridge and set its serial port
  vant.talix.talix_settings:
    mac: "00:50:C2-5A:30:00"
    settings:
      NetName: Pump house
      BaudRate: 19200
      Handshaking: 1

- name: Set the TCP port of the bridge at a known address and restart it
  vant.talix.talix_settings:
    ip: 192.168.1.20
    settings:
      IPPort: 4001
    reboot: true

- name: Apply a settings plan kept in the inventory, site by site
  vant.talix.talix_settings:
    mac: "{{ item.key }}"
    settings: "{{ item.value }}"
    port: "{{ port }}"
    local_port: "{{ local_port }}"
    broadcast: "{{ broadcast }}"
  loop: "{{ talix_plan | dict2items }}"
'''

RETURN = r'''
mac:
  description: The bridge's MAC as the search shows it (with C(mac)).
  returned: when C(mac) is given
  type: str
  sample: "00:50:C2-5A:30:00"
ip:
  description: The bridge's address.
  returned: success
  type: str
  sample: 192.168.1.20
changes:
  description: The settings that changed (or would change in check mode), each as [old, new].
  returned: success
  type: dict
  sample: {"NetName": ["TALIX-1", "Pump house"], "BaudRate": [9600, 19200]}
rc:
  description: C(talixctl)'s exit status.
  returned: failure
  type: int
  sample: 3
'''

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.vant.talix.plugins.module_utils.talixctl import (
    RC_DIFFERS, RC_OK, Talixctl, argument_spec)


def diff_of(changes):
    return dict(before={k: v[0] for k, v in changes.items()},
                after={k: v[1] for k, v in changes.items()})


def by_mac(tool, params, check):
    plan = tool.temp_json({'devices': {params['mac']: params['settings']}})
    args = ['apply', plan]
    if check:
        args.append('--check')
    if params['reboot']:
        args.append('--reboot')
    rc, data, out, err = tool.run(*args)
    row = tool.device_row(rc, data, out, err, params['mac'])
    return row.get('result') == 'changed', row.get('changes') or {}, dict(mac=row.get('mac'), ip=row.get('ip'))


def by_ip(tool, params, check):
    wanted = tool.temp_json(params['settings'])
    rc, data, out, err = tool.run('diff', params['ip'], wanted)
    if rc not in (RC_OK, RC_DIFFERS) or not isinstance(data, dict):
        tool.fail(rc, err, out)
    changes = data.get('changes') or {}
    differs = rc == RC_DIFFERS
    if differs and not check:
        args = ['write', params['ip'], wanted] + (['--reboot'] if params['reboot'] else [])
        rc, data, out, err = tool.run(*args)
        if rc != RC_OK:
            tool.fail(rc, err, out, changes=changes)
    return differs, changes, dict(ip=params['ip'])


def main():
    module = AnsibleModule(
        argument_spec=argument_spec(
            mac=dict(type='str'),
            ip=dict(type='str'),
            settings=dict(type='dict', required=True),
            reboot=dict(type='bool', default=False),
        ),
        mutually_exclusive=[('mac', 'ip')],
        required_one_of=[('mac', 'ip')],
        supports_check_mode=True,
    )
    tool = Talixctl(module)
    run = by_mac if module.params['mac'] else by_ip
    changed, changes, where = run(tool, module.params, module.check_mode)
    result = dict(changed=changed, changes=changes, **where)
    if module._diff and changes:
        result['diff'] = diff_of(changes)
    module.exit_json(**result)


if __name__ == '__main__':
    main()
