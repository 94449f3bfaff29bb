"""The qemu suite's harness (scripts/qemu-suite): the board image booted under qemu.

machine   the VM: qemu, QMP, the guest agent, power cuts, the screen
pictures  a screen against the offscreen gallery's picture
runner    the command line, the case runner, its checks and a failed case's evidence
figures   the service's figures on the board beside the benchmark's floors
"""
