#!/usr/bin/python
# -*- coding: utf-8 -*-

DOCUMENTATION = r'''
---
module: talix_settings
short_description: Bring the settings of a site's TALIX bridges, or of one, to the given values
description:
  - Writes settings to Vant TALIX bridges only where they differ from their current ones, so a
    second run of the same task changes nothing.
  - The site form takes a whole site's plan in one task, C(defaults) and C(devices) (MAC to
    settings), and runs one C(talixctl --json apply) for it, the bridges in parallel. A bridge of
    the plan that is not found fails the task after the others were done.
  - The single form takes C(mac) or C(ip) and C(settings). With C(mac) it runs C(talixctl apply)
    on a plan naming that bridge; with C(ip) it runs C(talixctl diff), then C(talixctl write) when
    something differs.
  - The restore form takes C(src), a settings file (C(.TALIX) or JSON, for the bridge of C(mac) or
    C(ip)) or a folder that M(vant.talix.talix_backup) or C(talixctl backup) wrote (every bridge
    with a file there, or only that of C(mac)).
  - Settings the task leaves out keep the bridge's current values. A value a bridge would refuse
    fails the task with C(talixctl)'s message before anything is sent.
version_added: 1.2.0
extends_documentation_fragment:
  - vant.talix.network
  - vant.talix.settings
options:
  devices:
    description:
      - The site's plan, MAC to settings (the keys of I(settings)), as C(talixctl apply) takes it.
        A MAC is written as the search shows it (C(00:50:C2-5A:30:00)), colon-separated or twelve hex
        digits, any case. Each bridge gets C(defaults), then its own entry.
    type: dict
    version_added: 1.3.0
  mac:
    description:
      - MAC address of the one bridge (single and restore forms); it is found by the search,
        wherever its address is.
    type: str
  ip:
    description:
      - IPv4 address of the one bridge, talked to directly without a search.
    type: str
  src:
    description:
      - A settings file (C(.TALIX) or JSON) to restore on the bridge of C(mac) or C(ip), or a backup
        folder of C(<MAC>.TALIX) files to restore on the bridges they name.
    type: path
    version_added: 1.3.0
  reboot:
    description:
      - Restart each bridge after it has saved changed settings (needed for network settings to
        take effect). Nothing is restarted when nothing changed.
    type: bool
    default: false
  parallel:
    description:
      - At most this many bridges in conversation at once (C(talixctl apply --parallel)).
    type: int
    version_added: 1.3.0
    default: 16
attributes:
  check_mode:
    support: full
    description: Reports what would change; nothing is sent to the bridges but the search and the reads.
  diff_mode:
    support: full
    description: The changed settings of each bridge, before and after; a password reads C(********).
author:
  - Brevion developers, dev@brevion.invalid (!UNKNOWN)
'''

EXAMPLES = r'''
- name: Bring every bridge of the site to the plan, in one task
  vant.talix.talix_settings:
    defaults:
      BaudRate: 19200
      Handshaking: 1
    devices:
      "00:50:C2-5A:30:00": {NetName: Pump house}
      "00:50:C2-5A:30:01": {NetName: Loading dock, IPPort: 4001}
    reboot: true

- name: The plan kept in the inventory, site by site
  vant.talix.talix_settings:
    defaults: "{{ talix_defaults | default(omit) }}"
    devices: "{{ talix_plan }}"

- name: Name one bridge and set its serial port
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

- name: Restore every bridge of the site from last night's backup
  vant.talix.talix_settings:
    src: /srv/talix-backup/north
'''

RETURN = r'''
devices:
  description: One entry per bridge of the plan or the backup folder (site and restore forms).
  returned: when C(devices) is given, or C(src) is a folder
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
      description: C(changed) (or would be, in check mode), C(unchanged) or C(failed).
      type: str
      sample: changed
    changes:
      description: The settings that changed (or would), each as [old, new]; a password as [C(********), C(********)].
      type: dict
      sample: {"NetName": ["TALIX-1", "Pump house"]}
    error:
      description: Why it failed (C(not found), no answer, ...); null when it did not.
      type: str
mac:
  description: The bridge's MAC as the search shows it (single form with C(mac)).
  returned: when C(mac) is given without C(devices)
  type: str
  sample: "00:50:C2-5A:30:00"
ip:
  description: The bridge's address (single form).
  returned: when C(mac) or C(ip) is given and C(src) is no folder
  type: str
  sample: 192.168.1.20
changes:
  description: The settings of the one bridge that changed (or would change in check mode), each as [old, new].
  returned: when C(mac) or C(ip) is given and C(src) is no folder
  type: dict
  sample: {"NetName": ["TALIX-1", "Pump house"], "BaudRate": [9600, 19200]}
rc:
  description: C(talixctl)'s exit status.
  returned: failure
  type: int
  sample: 3
'''

import os

from ansible_collections.vant.talix.plugins.module_utils.talixctl import (
    RC_DIFFERS, RC_FAILED, RC_OK, SETTINGS_SPEC, Talixctl, TalixModule, argument_spec, diff_of, mac_key, masked,
    settings_given)
from ansible.module_utils.common.arg_spec import ArgumentSpecValidator


def plan_entries(module, devices):
    """The plan's entries checked against the settings' keys and types, by MAC."""
    validator = ArgumentSpecValidator(SETTINGS_SPEC)
    entries = {}
    for mac, entry in (devices or {}).items():
        if mac_key(mac) is None:
            module.fail_json(msg='devices: "%s" is not a MAC address.' % mac)
        result = validator.validate(entry if entry is not None else {})
        if result.error_messages:
            module.fail_json(msg='devices: %s: %s' % (mac, result.error_messages[0]))
        entries[mac] = settings_given(result.validated_parameters)
    return entries


def apply_plan(tool, plan, params, check):
    """Rows of one talixctl apply over the plan."""
    args = ['apply', tool.temp_json(plan), '--parallel', params['parallel']]
    args += ['--check'] if check else []
    args += ['--reboot'] if params['reboot'] else []
    return tool.fleet_rows(*tool.run(*args))


def by_ip(tool, ip, wanted, params, check):
    """(changes, error) of bringing the bridge at ip to the settings file wanted."""
    rc, data, out, err = tool.run('diff', ip, wanted)
    if rc not in (RC_OK, RC_DIFFERS) or not isinstance(data, dict):
        return {}, (err or out or 'talixctl exited with status %d' % rc).strip()
    changes = masked(data.get('changes') or {})
    if rc == RC_DIFFERS and not check:
        rc, data, out, err = tool.run('write', ip, wanted, *(['--reboot'] if params['reboot'] else []))
        if rc != RC_OK:
            return changes, (err or 'talixctl exited with status %d' % rc).strip()
    return changes, None


def restore_folder(tool, params, check):
    """Rows of every bridge with a <MAC>.TALIX file in the folder (or only that of mac)."""
    folder = params['src']
    files = sorted(f for f in os.listdir(folder) if f.upper().endswith('.TALIX') and mac_key(f[:-6]))
    if params['mac']:
        files = [f for f in files if mac_key(f[:-6]) == mac_key(params['mac'])]
    if not files:
        tool.module.fail_json(msg='%s holds no settings file <MAC>.TALIX%s.' % (
            folder, ' for %s' % params['mac'] if params['mac'] else ''))
    found = dict((mac_key(r['mac']), r) for r in tool.inventory())
    rows = []
    for name in files:
        bridge = found.get(mac_key(name[:-6]))
        row = dict(mac=bridge['mac'] if bridge else name[:-6], ip=bridge and bridge['ip'], changes={})
        if bridge is None or bridge.get('duplicate'):
            # A bridge that shares its address with another is never written.
            row['error'] = bridge['error'] if bridge else 'not found'
        else:
            row['changes'], row['error'] = by_ip(tool, bridge['ip'], os.path.join(folder, name), params, check)
        row['result'] = 'failed' if row['error'] else 'changed' if row['changes'] else 'unchanged'
        rows.append(row)
    return rows


def single(tool, params, check):
    """(changes, where) for the one bridge of mac or ip."""
    if params['mac'] and not params['src']:
        rows = apply_plan(tool, {'devices': {params['mac']: settings_given(params['settings'])}}, params, check)
        row = next((r for r in rows if mac_key(r.get('mac')) == mac_key(params['mac'])), None)
        if row is None or row['result'] == 'failed':
            tool.fail(RC_FAILED, '', error='%s: %s' % (params['mac'], row['error'] if row else 'not found'))
        return row['changes'], dict(mac=row['mac'], ip=row['ip'])
    ip = params['ip'] or tool.resolve_ip(params['mac'])
    wanted = params['src'] or tool.temp_json(settings_given(params['settings']))
    changes, error = by_ip(tool, ip, wanted, params, check)
    if error:
        tool.fail(RC_FAILED, error, changes=changes, ip=ip)
    return changes, dict(ip=ip, **(dict(mac=params['mac']) if params['mac'] else {}))


def finish(module, tool, rows):
    result = dict(changed=any(r['result'] == 'changed' for r in rows), devices=rows)
    if module._diff:
        result['diff'] = [diff_of(r['changes'], '%s %s' % (r['mac'], r['ip'] or '-')) for r in rows if r['changes']]
    tool.fail_failed(rows, 'the others were done', **result)
    module.exit_json(**result)


def main():
    module = TalixModule(
        argument_spec=argument_spec(
            devices=dict(type='dict'),
            defaults=dict(type='dict', options=SETTINGS_SPEC),
            mac=dict(type='str'),
            ip=dict(type='str'),
            settings=dict(type='dict', options=SETTINGS_SPEC),
            src=dict(type='path'),
            reboot=dict(type='bool', default=False),
            parallel=dict(type='int', default=16),
        ),
        mutually_exclusive=[('mac', 'ip'), ('devices', 'settings', 'src'), ('devices', 'mac'), ('devices', 'ip'),
                            ('defaults', 'settings'), ('defaults', 'src')],
        required_one_of=[('devices', 'settings', 'src')],
        required_by={'defaults': 'devices'},
        supports_check_mode=True,
    )
    p = module.params
    if p['settings'] is not None and not (p['mac'] or p['ip']):
        module.fail_json(msg='settings needs mac or ip (for a whole site give devices).')
    if p['src'] and not os.path.isdir(p['src']) and not (p['mac'] or p['ip']):
        module.fail_json(msg='src %s is a settings file: give the mac or ip of the bridge it is for.' % p['src'])
    if p['src'] and not os.path.exists(p['src']):
        module.fail_json(msg='src %s does not exist.' % p['src'])
    tool = Talixctl(module)
    if p['devices'] is not None:
        plan = dict(devices=plan_entries(module, p['devices']))
        if p['defaults']:
            plan['defaults'] = settings_given(p['defaults'])
        return finish(module, tool, apply_plan(tool, plan, p, module.check_mode))
    if p['src'] and os.path.isdir(p['src']):
        return finish(module, tool, restore_folder(tool, p, module.check_mode))
    changes, where = single(tool, p, module.check_mode)
    result = dict(changed=bool(changes), changes=changes, **where)
    if module._diff and changes:
        result['diff'] = diff_of(changes)
    module.exit_json(**result)


if __name__ == '__main__':
    main()
