#!/usr/bin/python
# -*- coding: utf-8 -*-

DOCUMENTATION = r'''
---
module: talix_backup
short_description: Keep the settings of every TALIX bridge of a site in a folder
description:
  - Reads every Vant TALIX bridge the search finds, through C(talixctl --json backup), and keeps
    one settings file per bridge, C(<MAC>.TALIX) as C(talixctl read --save) writes it, and
    C(index.json) (MAC, address, name, file, layout, firmware of each) in C(dest).
  - A file is replaced only when its content changed, and the task reports C(changed) only then,
    so a backup of an unchanged site changes nothing. Files are readable by their owner only
    (they hold the bridges' log-in passwords); a new C(dest) is made for its owner only.
  - A bridge that could not be read fails the task after the others were saved. No bridge
    answering fails it too, unless C(allow_empty).
  - M(vant.talix.talix_settings) with C(src) restores such a folder.
version_added: 1.3.0
extends_documentation_fragment:
  - vant.talix.network
options:
  dest:
    description:
      - Folder of the site's backup on the host the module runs on; made when missing.
    type: path
    required: true
  allow_empty:
    description:
      - Succeed when no bridge answers (nothing is written).
    type: bool
    default: false
  parallel:
    description:
      - At most this many bridges in conversation at once (C(talixctl backup --parallel)).
    type: int
    default: 16
attributes:
  check_mode:
    support: full
    description: Reads the bridges and reports which files would change; writes nothing.
  diff_mode:
    support: none
    description: The files hold passwords; only the names of those that change are returned.
author:
  - Brevion developers, dev@brevion.invalid (!UNKNOWN)
'''

EXAMPLES = r'''
- name: Back up every bridge of the site
  vant.talix.talix_backup:
    dest: "/srv/talix-backup/{{ inventory_hostname }}"

- name: Restore them
  vant.talix.talix_settings:
    src: "/srv/talix-backup/{{ inventory_hostname }}"
'''

RETURN = r'''
dest:
  description: The backup folder.
  returned: always
  type: str
  sample: /srv/talix-backup/plant-north
devices:
  description: One entry per bridge found, as C(index.json) lists it, with C(changed) added.
  returned: always
  type: list
  elements: dict
  contains:
    mac:
      description: The bridge's MAC as the search shows it.
      type: str
      sample: "00:50:C2-5A:30:00"
    ip:
      description: Its address.
      type: str
      sample: 192.168.1.20
    file:
      description: The name of its settings file in C(dest); null when it could not be read.
      type: str
      sample: 0050C25A3000.TALIX
    changed:
      description: Whether its file was written (or would be, in check mode).
      type: bool
    error:
      description: Why it could not be read; null when it was.
      type: str
changed_files:
  description: The names of the files in C(dest) that were written (or would be).
  returned: always
  type: list
  elements: str
  sample: [0050C25A3000.TALIX, index.json]
'''

import os
import shutil
import tempfile

from ansible_collections.vant.talix.plugins.module_utils.talixctl import Talixctl, TalixModule, argument_spec


def same_content(path, new_path):
    if not os.path.isfile(path):
        return False
    with open(path, 'rb') as a, open(new_path, 'rb') as b:
        return a.read() == b.read()


def keep(module, fresh, dest, names):
    """Moves the files whose content changed from fresh into dest (owner-only); their names."""
    changed = [n for n in names if not same_content(os.path.join(dest, n), os.path.join(fresh, n))]
    if module.check_mode or not changed:
        return changed
    if not os.path.isdir(dest):
        os.makedirs(dest, mode=0o700)
    for name in changed:
        # Written beside its place, owner-only from the start, then renamed over it: a file in
        # dest is replaced whole, never left half written.
        fd, temp = tempfile.mkstemp(prefix='.' + name, dir=dest)
        try:
            with os.fdopen(fd, 'wb') as f, open(os.path.join(fresh, name), 'rb') as source:
                f.write(source.read())
                f.flush()
                os.fsync(f.fileno())
            os.replace(temp, os.path.join(dest, name))
        except BaseException:
            os.unlink(temp)
            raise
    return changed


def main():
    module = TalixModule(
        argument_spec=argument_spec(
            dest=dict(type='path', required=True),
            allow_empty=dict(type='bool', default=False),
            parallel=dict(type='int', default=16),
        ),
        supports_check_mode=True,
    )
    dest = module.params['dest']
    if os.path.exists(dest) and not os.path.isdir(dest):
        module.fail_json(msg='dest %s is not a folder.' % dest)
    tool = Talixctl(module)
    fresh = os.path.join(module.tmpdir, 'backup')
    rc, rows, out, err = tool.run('backup', fresh, '--parallel', module.params['parallel'])
    if not isinstance(rows, list):
        tool.fail(rc, err, out)
    if not rows and not module.params['allow_empty']:
        module.fail_json(msg='No bridge answered the search (%s); nothing was saved.' % tool.where(), rc=rc)
    names = [r['file'] for r in rows if r.get('file')] + (['index.json'] if rows else [])
    try:
        changed = keep(module, fresh, dest, names)
    except (IOError, OSError) as e:
        module.fail_json(msg='%s: %s' % (dest, e))
    finally:
        shutil.rmtree(fresh, ignore_errors=True)
    for row in rows:
        row['changed'] = row.get('file') in changed
    result = dict(changed=bool(changed), dest=dest, devices=rows, changed_files=changed)
    tool.fail_failed([dict(r, result='failed' if r.get('error') else 'saved') for r in rows],
                     'the others were saved in %s' % dest, **result)
    module.exit_json(**result)


if __name__ == '__main__':
    main()
