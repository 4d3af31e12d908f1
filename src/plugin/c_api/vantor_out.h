/* The Vantor DMX output plug-in, as a host loads it: a C interface to the class clsOutputDriver. */
#ifndef VANTOR_OUT_H
#define VANTOR_OUT_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define VANTOR_API __attribute__((visibility("default")))
#else
#define VANTOR_API
#endif

/* Every operation returns one of these; its result comes back through its last parameter. */
typedef int32_t vantor_status;
#define VANTOR_S_OK ((vantor_status)0)
#define VANTOR_E_OVERFLOW ((vantor_status)0x800A0006u)
#define VANTOR_E_FAIL ((vantor_status)0x80004005u)

/* Booleans are 16-bit: -1 true, 0 false. */
typedef int16_t vantor_bool;
#define VANTOR_TRUE ((vantor_bool)-1)
#define VANTOR_FALSE ((vantor_bool)0)

/* Identity of the component. */
#define VANTOR_TYPELIB_NAME "Zandorvex"
#define VANTOR_TYPELIB_VERSION_MAJOR 2
#define VANTOR_TYPELIB_VERSION_MINOR 0
#define VANTOR_PROGID "Zandorvex.clsOutputDriver"
#define VANTOR_CLASS_NAME "clsOutputDriver"
#define VANTOR_INTERFACE_NAME "_clsOutputDriver"
#define VANTOR_LIBID "{6F3C2A91-4E7B-4D8A-9C15-2B8E7D4A0C31}"
#define VANTOR_CLSID "{A1D4E6F2-8B3C-4F19-B7A2-5C9E0D3F6B84}"
#define VANTOR_IID "{3E8B5D17-C2A4-4B6E-8F91-7D0A6C4E2B59}"

/* Dispatch ids of the interface's methods, in slot order. */
#define VANTOR_DISPID_DISABLE 0x60030000
#define VANTOR_DISPID_ENABLE 0x60030001
#define VANTOR_DISPID_PLUGINNAME 0x60030002
#define VANTOR_DISPID_SETCHANNEL 0x60030003
#define VANTOR_DISPID_CONFIGURE 0x60030004
#define VANTOR_DISPID_INIT 0x60030005
#define VANTOR_DISPID_TERM 0x60030006

/* The host's helper object: the plug-in holds a reference from init to Term and calls nothing else. */
typedef struct vantor_host_helper vantor_host_helper;
struct vantor_host_helper {
    void (*add_ref)(vantor_host_helper* self);
    void (*release)(vantor_host_helper* self);
};

typedef struct vantor_driver vantor_driver;

VANTOR_API vantor_status vantor_driver_create(vantor_driver** driver);
VANTOR_API vantor_status vantor_driver_release(vantor_driver* driver);

VANTOR_API vantor_status vantor_Disable(vantor_driver* driver, vantor_bool* result);
VANTOR_API vantor_status vantor_Enable(vantor_driver* driver, vantor_bool* result);
/* The name handed out is freed by the host with vantor_string_free. */
VANTOR_API vantor_status vantor_PluginName(vantor_driver* driver, char** result);
VANTOR_API vantor_status vantor_SetChannel(vantor_driver* driver, int32_t* channel, int32_t* value,
                                           vantor_bool* result);
VANTOR_API vantor_status vantor_Configure(vantor_driver* driver, vantor_bool* result);
VANTOR_API vantor_status vantor_init(vantor_driver* driver, char** calling_app_title, char** my_filename,
                                     vantor_host_helper** host_plugin_helper, vantor_bool* result);
VANTOR_API vantor_status vantor_Term(vantor_driver* driver, vantor_bool* result);

VANTOR_API void vantor_string_free(char* text);
/* The description of the last failure status returned on this thread ("" when none). */
VANTOR_API const char* vantor_last_error(void);

/* For a host without a Qt event loop of its own: runs the plug-in's events for up to max_ms. */
VANTOR_API vantor_status vantor_process_events(int32_t max_ms);

/* For hosts without a person at the window; each runs the handler the user's action runs.
   vantor_select_port fails for a number outside 1 to 16; its result is true when that port is the open link
   port afterwards, false when it could not be opened. The list of found widgets is left as it is. */
VANTOR_API vantor_status vantor_select_port(int32_t port, vantor_bool* result);
VANTOR_API vantor_status vantor_set_bridge_mode(vantor_bool send);
/* The bridge's universe: Art-Net 0 to 255 (it moves the window's universe scroll bar), sACN 1 to 63999. It
   belongs to the bridge, not to a protocol, and carries over to a protocol chosen later (see
   vantor_set_protocol). */
VANTOR_API vantor_status vantor_set_universe(int32_t universe);
VANTOR_API vantor_status vantor_update_firmware(const char* path, vantor_bool* result);

/* For a host that watches the bridge (a status line, a supervisor that reconnects a widget). */

/* "Search": probes ports 1 to 16 again, as the window's button does (the link port is closed first). */
VANTOR_API vantor_status vantor_search_ports(void);
/* "Search" for one port alone (1 to 16): the link port is closed, that port probed, and its widget listed
   when it answers. No other device is opened or written to: for a supervisor waiting for one widget. */
VANTOR_API vantor_status vantor_search_port(int32_t port);

/* What the last port scan (at start-up or "Search") found on one port number, and the device path the
   number names now ("" when none). */
typedef struct vantor_port_report {
    char device[256];
    vantor_bool opened;   /* the scan could open the port */
    vantor_bool answered; /* a widget answered the parameters request */
    uint8_t firmware_msb; /* its firmware version, as the window shows it: msb.lsb */
    uint8_t firmware_lsb;
} vantor_port_report;
VANTOR_API vantor_status vantor_get_port_report(int32_t port, vantor_port_report* report);

/* One look at the bridge. The counters run from load; a host takes differences for rates. */
typedef struct vantor_bridge_status {
    int32_t port;               /* the serial control's port number */
    vantor_bool port_open;      /* that port is open now */
    vantor_bool link_open;      /* the window's LinkOpen flag */
    vantor_bool send_mode;      /* Art-Net to DMX (true) or DMX to Art-Net (false) */
    vantor_bool output_enabled; /* the 20 ms output pump runs */
    int32_t universe;           /* the chosen protocol's: Art-Net 0 to 255, sACN 1 to 63999 */
    uint32_t messages;          /* message boxes shown so far (logged instead when headless) */
    uint64_t output_frames;     /* frames the output pump and the Art-Net bridge wrote to the widget */
    uint64_t artdmx_in;         /* ArtDmx received for the universe while Art-Net is chosen */
    uint64_t artdmx_out;        /* ArtDmx sent */
    char status_text[256];      /* the status bar, e.g. "0 Ready" */
    char last_message[256];     /* the last message box's text, "" before the first */
} vantor_bridge_status;
VANTOR_API vantor_status vantor_get_bridge_status(vantor_bridge_status* status);

/* Received-DMX reports that left no ArtDmx, by reason, counted from load: Art-Net receivers hold the last
   good frame. Only the faulty ones reach the input monitor, which tells of them ("dmx frame invalid!"). The
   host sets size to sizeof(vantor_receive_counts) before the call; the plug-in fills no more than size bytes
   and sets size to the bytes it filled, so that hosts built against an older or a newer header go on working.
 */
typedef struct vantor_receive_counts {
    uint32_t size;
    uint64_t faulty;           /* the widget flagged the frame: its receive status is not 0 */
    uint64_t not_start_code_0; /* RDM (start code 0xCC) or another alternate start code */
    uint64_t no_levels;        /* the report ends before its first level */
} vantor_receive_counts;
VANTOR_API vantor_status vantor_get_receive_counts(vantor_receive_counts* counts);

/* Datagrams the bridge dropped, by reason, counted from load; sized as vantor_receive_counts is. The
   interface counts grow only when the bridge was given an interface (VANTOR_ARTNET_INTERFACE, vantor-host's
   --interface): what arrives on another interface is dropped, what this machine sends itself is taken. */
typedef struct vantor_drop_counts {
    uint32_t size;
    uint64_t artdmx_while_sacn;      /* ArtDmx that came while sACN was chosen: they change nothing */
    uint64_t artnet_other_interface; /* Art-Net datagrams that came in on another interface */
    uint64_t sacn_other_interface;   /* sACN datagrams that came in on another interface */
} vantor_drop_counts;
VANTOR_API vantor_status vantor_get_drop_counts(vantor_drop_counts* counts);

/* The bridge's network protocol: Art-Net (the node, as the window shows it) or sACN (E1.31) in its place, on
   the same interface. While sACN is chosen, ArtDmx change no levels (the node still answers polls). Protocol,
   universe and mode may be set in any order: each call is checked against the protocol chosen when it is
   made, and a call that fails changes nothing, so every order of calls that each succeed ends in the same
   state, the protocol, universe and mode given last. Until a universe is set, Art-Net keeps the scroll bar's
   and sACN 1. Failures: a protocol other than these, no sACN socket, or a universe set last that the
   protocol has not (0 for sACN, above 255 for Art-Net). */
#define VANTOR_PROTOCOL_ARTNET 0
#define VANTOR_PROTOCOL_SACN 1
VANTOR_API vantor_status vantor_set_protocol(int32_t protocol);
/* The priority (0 to 200, default 100) that the bridge's own sACN packets carry. */
VANTOR_API vantor_status vantor_set_sacn_priority(int32_t priority);
/* The multicast TTL (1 to 255, default 1: the packets stay on the local network) of the bridge's own sACN. */
VANTOR_API vantor_status vantor_set_sacn_ttl(int32_t ttl);
/* In receive mode with sACN, each good frame of the widget's input leaves as one E1.31 data packet of the
   bridge's own stream (its CID, "<host name> Vantor DMX bridge", the priority), with a universe discovery
   packet every 10 s; leaving receive mode or sACN ends the stream with three stream-terminated packets.
   sent: the packets that left so far, of every kind; refused: those the network did not take. */
VANTOR_API vantor_status vantor_get_sacn_sent(uint64_t* sent, uint64_t* refused);

/* The sACN side at a glance. As with vantor_receive_counts, the host sets size to sizeof(vantor_sacn_status)
   and the plug-in fills no more than size bytes and sets size to the bytes it filled. */
#define VANTOR_SACN_MAX_SOURCES 8
#define VANTOR_SACN_MAX_IGNORED_REASONS 32
typedef struct vantor_sacn_source {
    char name[64]; /* UTF-8, NUL-ended */
    uint8_t cid[16];
    uint8_t priority;
    uint32_t packets_per_second; /* over the last whole second */
    uint64_t packets;
} vantor_sacn_source;
typedef struct vantor_sacn_status {
    uint32_t size;
    int32_t protocol; /* VANTOR_PROTOCOL_ARTNET or VANTOR_PROTOCOL_SACN */
    int32_t universe; /* 1 to 63999 */
    int32_t priority;
    int32_t winner;      /* index into sources, -1 when no source sends */
    vantor_bool merging; /* sources share the highest priority: highest level takes precedence */
    uint32_t source_count;
    vantor_sacn_source sources[VANTOR_SACN_MAX_SOURCES];
    uint64_t frames;          /* frames sent to the widget for changed levels */
    uint32_t ignored_reasons; /* entries of ignored in use; vantor_sacn_ignored_name names each */
    uint64_t ignored[VANTOR_SACN_MAX_IGNORED_REASONS]; /* datagrams ignored, by reason, counted from load */
} vantor_sacn_status;
VANTOR_API vantor_status vantor_get_sacn_status(vantor_sacn_status* status);
/* The name of a reason, e.g. "sequence"; "" outside 0 to ignored_reasons - 1. The text is the plug-in's. */
VANTOR_API const char* vantor_sacn_ignored_name(int32_t reason);

/* Called on the plug-in's thread with the status bar's text whenever it changes: the reply status, and during
   a firmware update its progress (one '.' per page written, an 'x' for a refused page). NULL stops it. */
typedef void (*vantor_status_listener)(void* context, const char* status_text);
VANTOR_API vantor_status vantor_set_status_listener(vantor_status_listener listener, void* context);

/* The class factory that DllGetClassObject hands out for VANTOR_CLSID; the host releases it when done.
   lock_server(self, VANTOR_TRUE) keeps the library loaded without a live driver until the matching
   lock_server(self, VANTOR_FALSE); unlocking without a lock fails. */
#define VANTOR_IID_CLASS_FACTORY "{00000001-0000-0000-C000-000000000046}"
#define VANTOR_E_NOINTERFACE ((vantor_status)0x80004002u)
#define VANTOR_E_CLASSNOTAVAILABLE ((vantor_status)0x80040111u)
#define VANTOR_S_FALSE ((vantor_status)1)
typedef struct vantor_class_factory vantor_class_factory;
struct vantor_class_factory {
    vantor_status (*create_instance)(vantor_class_factory* self, vantor_driver** driver);
    void (*release)(vantor_class_factory* self);
    vantor_status (*lock_server)(vantor_class_factory* self, vantor_bool lock);
};

/* The library entry points, with their Linux meanings. DllRegisterServer writes
   $XDG_DATA_HOME/zandorvex/registry/Zandorvex.clsOutputDriver.reg (~/.local/share when XDG_DATA_HOME is
   unset); DllGetClassObject takes VANTOR_CLSID and VANTOR_IID_CLASS_FACTORY (or NULL) and hands out a
   vantor_class_factory*; DllCanUnloadNow returns VANTOR_S_OK when no driver is alive and no server lock is
   held, VANTOR_S_FALSE otherwise (a class factory alone does not keep the library loaded). */
VANTOR_API int32_t DllRegisterServer(void);
VANTOR_API int32_t DllUnregisterServer(void);
VANTOR_API int32_t DllGetClassObject(const char* clsid, const char* iid, void** factory);
VANTOR_API int32_t DllCanUnloadNow(void);

#ifdef __cplusplus
}
#endif

#endif
