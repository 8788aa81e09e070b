#!/bin/sh
# SPDX-License-Identifier: MIT
# The platform's IR script, simulated: logs how it was called beside the platform's calls.
echo "ir: sync_irlight_ircut.sh $*" >>/run/vornic-vm/platform.log
# A check that needs the script to take a while says how long, in seconds, in this file.
delay=/run/vornic-vm/ir-delay
[ ! -e "$delay" ] || sleep "$(cat "$delay")"
