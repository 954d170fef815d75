# -*- coding: utf-8 -*-
# The settings a bridge takes, documented once for every option that carries them.


class ModuleDocFragment(object):
    DOCUMENTATION = r'''
options:
  settings:
    description:
      - The settings to have, with the keys of C(talixctl read --json). Keys left out keep the
        bridge's current values. Which keys a bridge carries depends on its settings layout
        (C(Basic), C(Rules), C(Login)); a key its layout does not carry is not sent.
    type: dict
    suboptions: &settings_keys
      DHCP:
        description: Take the address from a DHCP server.
        type: bool
      IPAddr:
        description: The bridge's IPv4 address (dotted).
        type: str
      SubnetMask:
        description: Its subnet mask (dotted).
        type: str
      Gateway:
        description: Its default gateway (dotted).
        type: str
      NetName:
        description: Its name, at most 16 characters.
        type: str
      IPPort:
        description: TCP port of the serial connection.
        type: int
      BaudRate:
        description: Serial speed in bits per second, one the configuration window offers (C(9600), C(19200), ...).
        type: int
      Handshaking:
        description: Serial handshake, the index of the configuration window's list (C(0) none, C(1) hardware, ...).
        type: int
      UDPPort:
        description: UDP port of the serial connection (layouts C(Rules) and C(Login)).
        type: int
      OutCount:
        description: Accepted for symmetry with C(talixctl read --json); the bridge counts the rules itself.
        type: int
      OutRules:
        description: Outgoing connection rules, slot by slot, at most 12 (layouts C(Rules) and C(Login)).
        type: list
        elements: dict
        suboptions:
          IPAddr:
            description: Address to connect to; empty for a free slot.
            type: str
          Port:
            description: Port to connect to.
            type: int
          Flags:
            description: The rule's flags, as C(talixctl read --json) shows them.
            type: int
          IdleSecs:
            description: Seconds without traffic after which the connection is closed.
            type: int
      UserPrompt:
        description: Log-in prompt for the user name (layout C(Login)).
        type: str
      PassPrompt:
        description: Log-in prompt for the password (layout C(Login)).
        type: str
      Username:
        description: Log-in user name (layout C(Login)).
        type: str
      Password:
        description:
          - Log-in password (layout C(Login)). Never shown; a change reads C(********) before and after.
        type: str
  defaults:
    description:
      - Settings every bridge of C(devices) gets before its own entry; the same keys as C(settings).
    type: dict
    version_added: 1.3.0
    suboptions: *settings_keys
'''
