#!/usr/bin/python
# -*- coding: utf-8 -*-

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r'''
---
module: talix_info
short_description: List the TALIX bridges of a site with their versions
description:
  - Searches the host's network segment for Vant TALIX bridges and reads each one, through
    C(talixctl --json inventory).
  - Sets the fact C(talix_devices). Changes nothing.
  - A bridge that could not be read is listed with its C(error) and reported as a warning; the
    task fails only when the search itself cannot run.
version_added: 1.2.0
extends_documentation_fragment:
  - vant.talix.network
author:
  - Brevion developers
'''

EXAMPLES = r'''
- name: List the bridges of the site
  vant.talix.talix_info:

- name: List the simulated bridges on loopback
  vant.talix.talix_info:
    port: 24150
    local_port: 24151
    broadcast: 127.255.255.255

- name: Show name, address and firmware of each
  ansible.builtin.debug:
    msg: "{{ item.name }} {{ item.ip }} {{ item.FirmVer }}"
  loop: "{{ talix_devices }}"
'''

RETURN = r'''
ansible_facts:
  description: Facts set by the module.
  returned: always
  type: dict
  contains:
    talix_devices:
      description: One entry per bridge, in the order the search found them.
      returned: always
      type: list
      elements: dict
      contains:
        name:
          description: The bridge's name.
          type: str
          sample: Pump house
        mac:
          description: Its MAC address as the search shows it.
          type: str
          sample: "00:50:C2-5A:30:00"
        ip:
          description: The address it answers from.
          type: str
          sample: 192.168.1.20
        duplicate:
          description: Whether another bridge answered from the same address (such bridges are never read or written).
          type: bool
        layout:
          description: Its settings layout (C(Basic), C(Rules) or C(Login)); null when it could not be read.
          type: str
        HdweVer:
          description: Hardware version; null when it could not be read.
          type: str
          sample: "1.2"
        BootVer:
          description: Bootloader version; null when it could not be read.
          type: str
          sample: "1.0.7"
        FirmVer:
          description: Firmware version; null when it could not be read.
          type: str
          sample: "1.0.17"
        error:
          description: Why it could not be read; null when it was. A bridge that shares its address, or its MAC
            with a bridge at another address, is listed once per address with the reason and never read or written.
          type: str
'''

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.vant.talix.plugins.module_utils.talixctl import Talixctl, argument_spec


def main():
    module = AnsibleModule(argument_spec=argument_spec(), supports_check_mode=True)
    devices = Talixctl(module).inventory()
    for row in devices:
        if row.get('error'):
            module.warn('%s (%s): %s' % (row.get('mac'), row.get('ip'), row['error']))
    module.exit_json(changed=False, ansible_facts=dict(talix_devices=devices))


if __name__ == '__main__':
    main()
