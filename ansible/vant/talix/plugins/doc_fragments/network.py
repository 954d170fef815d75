# -*- coding: utf-8 -*-
# The options every module of the collection shares: where talixctl finds the bridges.

from __future__ import absolute_import, division, print_function

__metaclass__ = type


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
      - Local UDP port that C(talixctl) binds (C(talixctl --local-port)).
    type: int
    default: 2362
  broadcast:
    description:
      - Address the search is sent to (C(talixctl --broadcast)).
    type: str
    default: 255.255.255.255
requirements:
  - C(talixctl) (Brevion) on the C(PATH) of the host the module runs on, in the network segment of the bridges.
notes:
  - The module runs C(talixctl --json) on the managed host; the search reaches the bridges of that host's own segment.
'''
