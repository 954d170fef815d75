#!/usr/bin/python
# -*- coding: utf-8 -*-

DOCUMENTATION = r'''
---
module: talix_info
short_description: List the TALIX bridges of a site with their versions
description:
  - Searches the host's network segment (and the targets of I(at)) for Vant TALIX bridges and
    reads each one, through C(talixctl --json inventory).
  - Returns them as C(devices); sets no facts (register the result). Changes nothing.
  - No bridge answering fails the task (a wrong port, a cable out, a whole site down), unless
    C(allow_empty) says the site may have none.
  - A bridge that could not be read is listed with its C(error) and reported as a warning.
version_added: 1.2.0
extends_documentation_fragment:
  - vant.talix.network
options:
  allow_empty:
    description:
      - Succeed with an empty C(devices) when no bridge answers.
    type: bool
    version_added: 1.3.0
    default: false
  gather:
    description:
      - What is read of each bridge. C(versions) its layout and versions; C(settings) also its
        settings (C(talixctl read --json)) as C(settings), the password masked.
    type: str
    version_added: 1.3.0
    choices: [versions, settings]
    default: versions
attributes:
  check_mode:
    support: full
    description: The module changes nothing; it runs the same in check mode.
  diff_mode:
    support: none
    description: The module changes nothing, so it has no diff.
author:
  - Brevion developers, dev@brevion.invalid (!UNKNOWN)
'''

EXAMPLES = r'''
- name: List the bridges of the site
  vant.talix.talix_info:
  register: site

- name: List the simulated bridges on loopback
  vant.talix.talix_info:
    port: 24150
    local_port: 24151
    broadcast: 127.255.255.255
  register: site

- name: Read the settings of the bridges of another hall, behind a router
  vant.talix.talix_info:
    at: [10.1.2.0/24]
    gather: settings
  register: hall

- name: Show name, address and firmware of each
  ansible.builtin.debug:
    msg: "{{ item.name }} {{ item.ip }} {{ item.FirmVer }}"
  loop: "{{ site.devices }}"
'''

RETURN = r'''
devices:
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
    settings:
      description: Its settings with the keys of C(talixctl read --json), C(Password) as C(********); null when they could not be read.
      returned: with C(gather=settings)
      type: dict
      sample: {"NetName": "Pump house", "BaudRate": 19200, "Password": "********"}
'''

from ansible_collections.vant.talix.plugins.module_utils.talixctl import (
    RC_OK, Talixctl, TalixModule, argument_spec, masked)


def read_settings(tool, row):
    """The bridge's settings, or None with row['error'] set."""
    rc, data, out, err = tool.run('read', row['ip'])
    if rc != RC_OK or not isinstance(data, dict):
        row['error'] = (err or out or 'talixctl exited with status %d' % rc).strip()
        return None
    return masked(data)


def main():
    module = TalixModule(
        argument_spec=argument_spec(
            allow_empty=dict(type='bool', default=False),
            gather=dict(type='str', choices=['versions', 'settings'], default='versions'),
        ),
        supports_check_mode=True,
    )
    tool = Talixctl(module)
    devices = tool.inventory(allow_empty=module.params['allow_empty'])
    for row in devices:
        if module.params['gather'] == 'settings':
            row['settings'] = None if row.get('error') else read_settings(tool, row)
        if row.get('error'):
            module.warn('%s (%s): %s' % (row.get('mac'), row.get('ip'), row['error']))
    module.exit_json(changed=False, devices=devices)


if __name__ == '__main__':
    main()
