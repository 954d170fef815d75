#!/usr/bin/python
# -*- coding: utf-8 -*-

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r'''
---
module: talix_firmware
short_description: Bring a TALIX bridge's firmware up to date
description:
  - Updates one Vant TALIX bridge to the newest firmware file in C(path) that fits its hardware
    and bootloader, through C(talixctl --json update-all PATH --only MAC).
  - A bridge already at that version or newer, or one that no file fits, is left alone and the
    task reports no change. Bootloader files in the folder are not used.
  - An update erases the firmware, programs it and restarts the bridge; it takes a while.
version_added: 1.2.0
extends_documentation_fragment:
  - vant.talix.network
options:
  mac:
    description:
      - MAC address of the bridge, as the search shows it (C(00:50:C2-5A:30:00)),
        colon-separated or twelve hex digits, any case.
      - Exactly one of C(mac) and C(ip) is given.
    type: str
  ip:
    description:
      - IPv4 address of the bridge; its MAC is found by the search first.
      - Exactly one of C(mac) and C(ip) is given.
    type: str
  path:
    description:
      - Folder of update files (C(*.bin)) on the host the module runs on.
    type: path
    required: true
  state:
    description:
      - C(latest) updates the bridge when a newer fitting firmware is in C(path).
    type: str
    choices: [latest]
    default: latest
attributes:
  check_mode:
    support: full
    description: Reports whether the bridge would be updated, and to which version; nothing is sent but the reads.
  diff_mode:
    support: none
author:
  - Brevion developers
'''

EXAMPLES = r'''
- name: Bring a bridge's firmware up to date
  vant.talix.talix_firmware:
    mac: "00:50:C2-5A:30:00"
    path: /srv/talix-updates

- name: Update every bridge the inventory found
  vant.talix.talix_firmware:
    mac: "{{ item.mac }}"
    path: /srv/talix-updates
    state: latest
  loop: "{{ talix_devices }}"
'''

RETURN = r'''
mac:
  description: The bridge's MAC as the search shows it.
  returned: success
  type: str
  sample: "00:50:C2-5A:30:00"
ip:
  description: The bridge's address.
  returned: success
  type: str
  sample: 192.168.1.20
result:
  description: C(updated) (or would be, in check mode), C(unchanged) (already at the newest fitting version) or C(skipped) (no fitting firmware file).
  returned: success
  type: str
  sample: updated
from:
  description: The firmware version before.
  returned: success
  type: str
  sample: "1.0.17"
to:
  description: The version it was updated to, or that it already runs; null when skipped.
  returned: success
  type: str
  sample: "1.0.18"
rc:
  description: C(talixctl)'s exit status.
  returned: failure
  type: int
  sample: 1
'''

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.vant.talix.plugins.module_utils.talixctl import Talixctl, argument_spec, mac_key


def main():
    module = AnsibleModule(
        argument_spec=argument_spec(
            mac=dict(type='str'),
            ip=dict(type='str'),
            path=dict(type='path', required=True),
            state=dict(type='str', choices=['latest'], default='latest'),
        ),
        mutually_exclusive=[('mac', 'ip')],
        required_one_of=[('mac', 'ip')],
        supports_check_mode=True,
    )
    tool = Talixctl(module)
    p = module.params
    mac = p['mac'] or tool.resolve_mac(p['ip'])
    if mac_key(mac) is None:
        module.fail_json(msg='"%s" is not a MAC address.' % mac)
    args = ['update-all', p['path'], '--only', mac_key(mac)]
    if module.check_mode:
        args.append('--check')
    row = tool.device_row(*tool.run(*args), mac=mac)
    module.exit_json(changed=row['result'] == 'updated', result=row['result'], mac=row.get('mac'),
                     ip=row.get('ip'), **{'from': row.get('from'), 'to': row.get('to')})


if __name__ == '__main__':
    main()
