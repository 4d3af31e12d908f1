/* The simulated widget, reachable from the C test host. One simulator at a time. */
#ifndef SIM_SHIM_H
#define SIM_SHIM_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Starts a simulator and names its pty as serial port 1 (VANTOR_SERIAL_PORTS); returns 0 on success. */
int sim_start(void);
/* Stops it: the pty goes away as an unplugged device would. */
void sim_stop(void);
size_t sim_frame_count(uint8_t label);
/* Data length of the last frame of that label (0 when none), and one data byte of it (-1 when none). */
size_t sim_last_frame_length(uint8_t label);
int sim_last_frame_byte(uint8_t label, size_t index);
/* Writes raw bytes to the plug-in's side of the line now. */
void sim_send(const uint8_t* bytes, size_t count);

#ifdef __cplusplus
}
#endif

#endif
