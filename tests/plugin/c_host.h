/* A lighting host written in C: each scenario loads the plug-in named by VANTOR_PLUGIN with dlopen, drives it
   through vantor_out.h only, and returns 0 when the plug-in behaved, else prints why to stderr and returns 1.
   Each scenario needs a process of its own: the plug-in is loaded once per process. */
#ifndef C_HOST_H
#define C_HOST_H

#ifdef __cplusplus
extern "C" {
#endif

int c_host_plugin_name_and_configure(void);
int c_host_set_channel_ranges(void);
int c_host_overflow_leaves_level(void);
int c_host_helper_references(void);
int c_host_levels_before_window_are_cleared(void);
int c_host_output_frames_carry_levels(void);
int c_host_disable_stops_frames(void);
int c_host_term_leaves_output_running(void);
int c_host_enable_without_port_is_silent(void);
int c_host_vanished_port_reports_once_and_recovers(void);
int c_host_unload_test_counts_objects(void);
int c_host_register_and_unregister(void);
int c_host_extensions_reject_bad_values(void);
int c_host_receive_counts_fill_what_the_host_gave(void);

#ifdef __cplusplus
}
#endif

#endif
