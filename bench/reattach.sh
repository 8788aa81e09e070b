#!/bin/sh
# SPDX-License-Identifier: MIT
# The reference for the re-attach benchmark: the steps vornic takes for a re-attach with
# bench/vornic.json, written as the shell script a firmware team would otherwise hang on the
# accessory's udev rule, one busctl call per D-Bus call and echo into sysfs. It leans on shell
# builtins wherever it can, so that it costs no more processes than the steps need.
set -u

control() {
    busctl call com.norv.PolicyKitSystem /com/norv/PolicyKitSystem com.norv.PolicyKitSystem \
        "$@" >/dev/null
}
reboot() {
    control Reboot
    exit 1
}

for gpio in acc_power acc_reset acc_mute acc_led; do
    echo 1 >/sys/class/gpio/$gpio/value || reboot
done

for service in motiond ledd netd uploadd storaged recordd streamd audiod; do
    control StopService s $service || reboot
done

drivers=/sys/bus/platform/drivers
devices="mic/mic0 mic/mic1 spk/spk0 spk/spk1"
for device in $devices; do
    echo ${device#*/} 2>/dev/null >$drivers/${device%/*}/unbind
done
for device in $devices; do
    [ -d $drivers/$device ] || echo ${device#*/} >$drivers/${device%/*}/bind || reboot
done

for service in eventd logd; do
    control ReloadService s $service || reboot
done
for service in audiod streamd recordd storaged uploadd netd ledd motiond; do
    control StartService s $service || reboot
done

# The roll angle is the seventh value of GetStatus, sent back folded into -359..180.
set -- $(busctl call com.norv.CamViewSetup.Setup /com/norv/CamViewSetup/Setup \
    com.norv.CamViewSetup.Setup GetStatus i 0)
eval "roll=\${$#}"
roll=$((${roll%%.*} % 360))
[ $roll -gt 180 ] && roll=$((roll - 360))
busctl call com.norv.CamViewSetup.Setup /com/norv/CamViewSetup/Setup \
    com.norv.CamViewSetup.Setup AbsoluteRoll id 1 $roll >/dev/null

case $(busctl call com.norv.Optics2 /com/norv/Optics0 com.norv.DayNight1 GetDayNight) in
    's "night"') filter=ir_filter_off ;;
    *) filter=ir_filter_on ;;
esac
/usr/bin/sync_irlight_ircut.sh $filter
