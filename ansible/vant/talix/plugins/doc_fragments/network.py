# -*- coding: utf-8 -*-
# The options every module of the collection shares: which talixctl runs, and where it finds
# the bridges.


class ModuleDocFragment(object):
    DOCUMENTATION = r'''
options:
  port:
    description:
      - UDP port of the bridges (C(talixctl --port)).
    type: int
    default: 2362
  local_port:
    description:
      - Local UDP port that C(talixctl) binds (C(talixctl --local-port)); C(0) lets the system choose.
    type: int
    default: 2362
  broadcast:
    description:
      - Address the search is sent to (C(talixctl --broadcast)).
    type: str
    default: 255.255.255.255
  at:
    description:
      - Search at these targets as well as on the segment (C(talixctl --at), once per target), for
        bridges behind a router. Each is an address (a bridge's own, or a directed broadcast such as
        C(10.1.2.255)) or a range in CIDR form (C(10.1.2.0/24), at most C(/16)).
    type: list
    version_added: 1.3.0
    elements: str
    default: []
  executable:
    description:
      - The C(talixctl) program to run, by name on the C(PATH) or by its path. Its version is checked
        first; one older than the collection needs fails the task with a clear message.
    type: str
    version_added: 1.3.0
    default: talixctl
requirements:
  - C(talixctl) 1.2.0 or newer (Brevion) on the host the module runs on, in the network segment of the bridges.
  - Python 3 on that host (the modules support no Python 2).
notes:
  - The module runs C(talixctl --json) on the managed host; the search reaches the bridges of that host's own segment,
    and those at the targets of I(at).
  - The bridges' passwords (C(Password)) are never shown, logged or returned; a change of one reads C(********).
'''
