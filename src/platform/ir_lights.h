// IR light synchronisation: the platform's IR script is run with the argument that matches
// the day/night filter state reported by the optics service.
#pragma once

// Runs the IR script, with the filter-off argument only when the filter state is "night"
// and with the filter-on argument otherwise, including when the state cannot be obtained.
// Returns the script's exit status (0..255); 0 means success.
int sync_ir_lights();
