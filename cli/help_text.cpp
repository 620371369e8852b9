#include "cli/help_text.h"

namespace kstbell::cli {

const char* const kHelpDescription =
    "kstbellctl: the command line for the Wi-Fi alarm horns (model 186) on TCP port 13577.\n"
    "Devices: -d ADDR or -d A.B.C.D/N (repeatable), --devices FILE, else 192.168.77.1, which\n"
    "this PC must reach over its Wi-Fi (checked as the desktop program checks it; with -d or\n"
    "--devices only with --check-wifi). Up to --parallel devices are worked on at once;\n"
    "results are printed as they come. set, config apply, wifi-mode, reboot, reset-default and\n"
    "firmware ask first on a terminal, and refuse without one unless --yes is given.";

const char* const kHelpFooter = R"(
JSON (--json): one object per device and line, as each device finishes:
  {"device":"ADDR","ok":true,"result":{...}}
  {"device":"ADDR","ok":false,"error":{"kind":K,"message":"..."}}
  K: unreachable, no_reply, refused (+ "status": the status byte), not_located, busy,
     invalid_input, verify_failed (+ "device_sum", "image_sum" for an image),
     socket_error; "path" names the device file or image, "bytes_sent"/"bytes_total" a
     broken data transfer.
  Device texts (location, SSIDs) are strings when they are UTF-8; otherwise U+FFFD stands
  for the other bytes and KEY_hex holds every byte in hexadecimal.
result by verb:
  info, scan: model, supported (model 186), address (as the device reports it), mac,
    firmware ("01.0A": major.minor, two hex digits each), firmware_major, firmware_minor,
    sd (null or {size_gb, free_gb}), location, ap_ssid, ap_key_type (open|wpa),
    station_ssid, station_key_type (open|wep|wpa), wifi_mode (ap|station), static_ip
    (null or {ip, mask, gateway}), modbus_port, modbus_idle_timeout_s (seconds), output,
    input, rssi_dbm (dBm, null when unknown), device_mode, armed
  status: output, input, rssi_dbm, armed
  watch: event (online|change), time (UTC, ISO 8601), changed (field names) and the status
    fields; a device that stops answering: ok false, error.event "offline"
  relay: output, input (as the device answered), tone; find-me: {}
  set: setting and its values, restart_needed true
  config show: the snapshot {format, read_from, device (as info), settings}
  config save: file, keys_saved;  config diff: file, same, differences [{setting, device,
    file}];  config apply: file, written, restart (needed|sent|by_wifi_mode), verified,
    back_after_ms; with --dry-run: dry_run, would_write, differences
  wifi-mode: wifi_mode, restarting;  reset-default: restarting
  reboot: restart_sent, back_after_ms (--wait)
  firmware: image, bytes, sum, verified, firmware_before, restart_sent, firmware_after and
    back_after_ms (--wait)
  site log (Linux): one object per audit entry, not per device: id, at, kind, cause,
    actor, horn, horn_id, group, alarm, tone, duration_ms, ring, detail

Exit codes: 0 every device succeeded; 1 any other or mixed failure (config diff: a device
differs; a question answered no); 2 usage error (also a changing verb without a terminal and
without --yes); 3 every failure was unreachable (scan: no horn answered); 4 every failure
was refused; 5 every failure was verify_failed. watch ends with 0 when interrupted.

scan probes up to 256 addresses at once unless --parallel is given, so a range of
addresses that accept but never answer takes about one reply wait; watch polls up to 16
devices at once unless --parallel is given.
)";

}  // namespace kstbell::cli
