#include "c_host.h"

#include <dlfcn.h>
#include <limits.h>
#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "sim_shim.h"
#include "vantor_out.h"

#define OUTPUT_LABEL 6

/* Where failures are told: stderr, or its saved copy while stderr is captured. */
static FILE* report;

#define CHECK(condition, ...)                                            \
    do {                                                                 \
        if (!(condition)) {                                              \
            FILE* out = report ? report : stderr;                        \
            fprintf(out, "%s:%d: %s: ", __FILE__, __LINE__, #condition); \
            fprintf(out, __VA_ARGS__);                                   \
            fprintf(out, "\n");                                          \
            fflush(out);                                                 \
            return 1;                                                    \
        }                                                                \
    } while (0)

typedef struct {
    vantor_status (*driver_create)(vantor_driver**);
    vantor_status (*driver_release)(vantor_driver*);
    vantor_status (*Disable)(vantor_driver*, vantor_bool*);
    vantor_status (*Enable)(vantor_driver*, vantor_bool*);
    vantor_status (*PluginName)(vantor_driver*, char**);
    vantor_status (*SetChannel)(vantor_driver*, int32_t*, int32_t*, vantor_bool*);
    vantor_status (*Configure)(vantor_driver*, vantor_bool*);
    vantor_status (*init)(vantor_driver*, char**, char**, vantor_host_helper**, vantor_bool*);
    vantor_status (*Term)(vantor_driver*, vantor_bool*);
    void (*string_free)(char*);
    const char* (*last_error)(void);
    vantor_status (*process_events)(int32_t);
    vantor_status (*select_port)(int32_t, vantor_bool*);
    vantor_status (*set_universe)(int32_t);
    vantor_status (*get_receive_counts)(vantor_receive_counts*);
    int32_t (*DllRegisterServer)(void);
    int32_t (*DllUnregisterServer)(void);
    int32_t (*DllGetClassObject)(const char*, const char*, void**);
    int32_t (*DllCanUnloadNow)(void);
} Api;

static Api api;
static char pluginPath[PATH_MAX];

static void* Symbol(void* library, const char* name) {
    void* symbol = dlsym(library, name);
    if (!symbol) fprintf(stderr, "missing symbol %s\n", name);
    return symbol;
}

/* Loads the plug-in; 0 on success. */
static int LoadPlugin(void) {
    const char* path = getenv("VANTOR_PLUGIN");
    if (!path || !*path) {
        fprintf(stderr, "VANTOR_PLUGIN is not set\n");
        return 1;
    }
    snprintf(pluginPath, sizeof pluginPath, "%s", path);
    void* library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        fprintf(stderr, "dlopen: %s\n", dlerror());
        return 1;
    }
    api.driver_create = (vantor_status(*)(vantor_driver**))Symbol(library, "vantor_driver_create");
    api.driver_release = (vantor_status(*)(vantor_driver*))Symbol(library, "vantor_driver_release");
    api.Disable = (vantor_status(*)(vantor_driver*, vantor_bool*))Symbol(library, "vantor_Disable");
    api.Enable = (vantor_status(*)(vantor_driver*, vantor_bool*))Symbol(library, "vantor_Enable");
    api.PluginName = (vantor_status(*)(vantor_driver*, char**))Symbol(library, "vantor_PluginName");
    api.SetChannel = (vantor_status(*)(vantor_driver*, int32_t*, int32_t*, vantor_bool*))Symbol(
        library, "vantor_SetChannel");
    api.Configure = (vantor_status(*)(vantor_driver*, vantor_bool*))Symbol(library, "vantor_Configure");
    api.init = (vantor_status(*)(vantor_driver*, char**, char**, vantor_host_helper**, vantor_bool*))Symbol(
        library, "vantor_init");
    api.Term = (vantor_status(*)(vantor_driver*, vantor_bool*))Symbol(library, "vantor_Term");
    api.string_free = (void (*)(char*))Symbol(library, "vantor_string_free");
    api.last_error = (const char* (*)(void))Symbol(library, "vantor_last_error");
    api.process_events = (vantor_status(*)(int32_t))Symbol(library, "vantor_process_events");
    api.select_port = (vantor_status(*)(int32_t, vantor_bool*))Symbol(library, "vantor_select_port");
    api.set_universe = (vantor_status(*)(int32_t))Symbol(library, "vantor_set_universe");
    api.get_receive_counts =
        (vantor_status(*)(vantor_receive_counts*))Symbol(library, "vantor_get_receive_counts");
    api.DllRegisterServer = (int32_t(*)(void))Symbol(library, "DllRegisterServer");
    api.DllUnregisterServer = (int32_t(*)(void))Symbol(library, "DllUnregisterServer");
    api.DllGetClassObject =
        (int32_t(*)(const char*, const char*, void**))Symbol(library, "DllGetClassObject");
    api.DllCanUnloadNow = (int32_t(*)(void))Symbol(library, "DllCanUnloadNow");
    return api.driver_create && api.driver_release && api.Disable && api.Enable && api.PluginName &&
                   api.SetChannel && api.Configure && api.init && api.Term && api.string_free &&
                   api.last_error && api.process_events && api.select_port && api.set_universe &&
                   api.get_receive_counts && api.DllRegisterServer && api.DllUnregisterServer &&
                   api.DllGetClassObject && api.DllCanUnloadNow
               ? 0
               : 1;
}

/* A host helper object that counts the references held on it. */
typedef struct {
    vantor_host_helper base;
    int references;
} CountingHelper;

static void HelperAddRef(vantor_host_helper* self) {
    ((CountingHelper*)self)->references++;
}
static void HelperRelease(vantor_host_helper* self) {
    ((CountingHelper*)self)->references--;
}
static CountingHelper NewHelper(void) {
    CountingHelper helper = {{HelperAddRef, HelperRelease}, 0};
    return helper;
}

static vantor_status Init(vantor_driver* driver, vantor_host_helper* helper, vantor_bool* result) {
    char title[] = "C test host";
    char* titlePointer = title;
    char* filePointer = pluginPath;
    return api.init(driver, &titlePointer, &filePointer, &helper, result);
}

static vantor_status Set(vantor_driver* driver, int32_t channel, int32_t value, vantor_bool* result) {
    return api.SetChannel(driver, &channel, &value, result);
}

/* Runs the plug-in's events until the simulator has seen `count` output frames or `ms` have passed. */
static int WaitForFrames(size_t count, int ms) {
    for (int waited = 0; waited < ms && sim_frame_count(OUTPUT_LABEL) < count; waited += 10)
        api.process_events(10);
    return sim_frame_count(OUTPUT_LABEL) >= count;
}

/* A created, initialised driver with the simulated widget as the chosen port 1. */
static int StartWithWidget(vantor_driver** driver) {
    vantor_bool result = 0;
    CHECK(sim_start() == 0, "no simulator");
    CHECK(LoadPlugin() == 0, "plug-in not loaded");
    CHECK(api.driver_create(driver) == VANTOR_S_OK, "%s", api.last_error());
    CHECK(Init(*driver, NULL, &result) == VANTOR_S_OK, "%s", api.last_error());
    CHECK(api.select_port(1, &result) == VANTOR_S_OK && result == VANTOR_TRUE, "port 1: %s",
          api.last_error());
    return 0;
}

/* Headless message boxes go to stderr; this sends stderr to a file to count them. */
static char capturePath[] = "/tmp/vantor-c-host-XXXXXX";
static int CaptureMessages(void) {
    const int fd = mkstemp(capturePath);
    if (fd < 0) return 1;
    setenv("QT_MESSAGE_PATTERN", "%{category}: %{message}", 1);
    setenv("QT_FORCE_STDERR_LOGGING", "1", 1);
    fflush(stderr);
    report = fdopen(dup(2), "w");
    return dup2(fd, 2) < 0;
}

static int CountMessages(void) {
    fflush(stderr);
    FILE* file = fopen(capturePath, "r");
    if (!file) return -1;
    char line[1024];
    int count = 0;
    while (fgets(line, sizeof line, file))
        if (strncmp(line, "vantor.widget: ", 15) == 0) count++;
    fclose(file);
    return count;
}

int c_host_plugin_name_and_configure(void) {
    vantor_driver* driver = NULL;
    vantor_bool result = 1;
    char* name = NULL;
    CHECK(LoadPlugin() == 0, "plug-in not loaded");
    CHECK(api.driver_create(&driver) == VANTOR_S_OK, "%s", api.last_error());
    CHECK(api.PluginName(driver, &name) == VANTOR_S_OK && strcmp(name, "Vantor Driver") == 0,
          "before init: %s", name ? name : "(null)");
    api.string_free(name);
    CHECK(api.Configure(driver, &result) == VANTOR_S_OK && result == VANTOR_FALSE, "Configure gave %d",
          result);
    result = 1;
    CHECK(Init(driver, NULL, &result) == VANTOR_S_OK, "%s", api.last_error());
    CHECK(result == VANTOR_FALSE, "init returned %d", result);
    name = NULL;
    CHECK(api.PluginName(driver, &name) == VANTOR_S_OK && strcmp(name, "Vantor Driver") == 0,
          "after init: %s", name ? name : "(null)");
    api.string_free(name);
    CHECK(api.Configure(driver, &result) == VANTOR_S_OK && result == VANTOR_FALSE, "Configure gave %d",
          result);
    CHECK(api.Term(driver, &result) == VANTOR_S_OK && result == VANTOR_FALSE, "Term gave %d", result);
    CHECK(api.driver_release(driver) == VANTOR_S_OK, "release failed");
    return 0;
}

int c_host_set_channel_ranges(void) {
    static const struct {
        int32_t channel, value;
        vantor_status status;
        vantor_bool result;
    } rows[] = {
        {0, 10, VANTOR_S_OK, VANTOR_FALSE},
        {513, 10, VANTOR_S_OK, VANTOR_FALSE},
        {-1, 10, VANTOR_S_OK, VANTOR_FALSE},
        {1, 10, VANTOR_S_OK, VANTOR_TRUE},
        {512, 7, VANTOR_S_OK, VANTOR_TRUE},
        {5, 255, VANTOR_S_OK, VANTOR_TRUE},
        {6, 256, VANTOR_E_OVERFLOW, VANTOR_FALSE},
        {7, -1, VANTOR_E_OVERFLOW, VANTOR_FALSE},
        /* the channel is tested first: an out-of-range channel with a bad value is simply refused */
        {513, 256, VANTOR_S_OK, VANTOR_FALSE},
    };
    vantor_driver* driver = NULL;
    vantor_bool result = 0;
    CHECK(StartWithWidget(&driver) == 0, "start failed");
    for (size_t row = 0; row < sizeof rows / sizeof rows[0]; ++row) {
        result = 99;
        const vantor_status status = Set(driver, rows[row].channel, rows[row].value, &result);
        CHECK(status == rows[row].status, "SetChannel(%d, %d) status 0x%08X", rows[row].channel,
              rows[row].value, (unsigned)status);
        if (status == VANTOR_S_OK)
            CHECK(result == rows[row].result, "SetChannel(%d, %d) gave %d", rows[row].channel,
                  rows[row].value, result);
    }
    CHECK(api.Enable(driver, &result) == VANTOR_S_OK && result == VANTOR_TRUE, "Enable");
    CHECK(WaitForFrames(2, 3000), "no output frames");
    CHECK(sim_last_frame_byte(OUTPUT_LABEL, 0) == 0, "start code");
    CHECK(sim_last_frame_byte(OUTPUT_LABEL, 1) == 10, "channel 1: %d", sim_last_frame_byte(OUTPUT_LABEL, 1));
    CHECK(sim_last_frame_byte(OUTPUT_LABEL, 5) == 255, "channel 5");
    CHECK(sim_last_frame_byte(OUTPUT_LABEL, 6) == 0 && sim_last_frame_byte(OUTPUT_LABEL, 7) == 0,
          "refused values stored");
    CHECK(sim_last_frame_byte(OUTPUT_LABEL, 512) == 7, "channel 512");
    return 0;
}

int c_host_overflow_leaves_level(void) {
    vantor_driver* driver = NULL;
    vantor_bool result = 0;
    CHECK(StartWithWidget(&driver) == 0, "start failed");
    CHECK(Set(driver, 5, 200, &result) == VANTOR_S_OK && result == VANTOR_TRUE, "store 200");
    CHECK(Set(driver, 5, 256, &result) == VANTOR_E_OVERFLOW, "256 accepted");
    CHECK(strlen(api.last_error()) > 0, "no description for the overflow");
    CHECK(Set(driver, 5, -1, &result) == VANTOR_E_OVERFLOW, "-1 accepted");
    CHECK(api.Enable(driver, &result) == VANTOR_S_OK, "Enable");
    CHECK(WaitForFrames(1, 3000), "no output frames");
    CHECK(sim_last_frame_byte(OUTPUT_LABEL, 5) == 200, "channel 5 is %d",
          sim_last_frame_byte(OUTPUT_LABEL, 5));
    return 0;
}

int c_host_helper_references(void) {
    vantor_driver* driver = NULL;
    vantor_bool result = 0;
    CountingHelper first = NewHelper(), second = NewHelper();
    CHECK(LoadPlugin() == 0, "plug-in not loaded");
    CHECK(api.driver_create(&driver) == VANTOR_S_OK, "%s", api.last_error());
    CHECK(Init(driver, &first.base, &result) == VANTOR_S_OK, "%s", api.last_error());
    CHECK(first.references == 1, "first after init: %d", first.references);
    CHECK(Init(driver, &second.base, &result) == VANTOR_S_OK, "%s", api.last_error());
    CHECK(first.references == 0 && second.references == 1, "after second init: %d, %d", first.references,
          second.references);
    CHECK(Init(driver, &second.base, &result) == VANTOR_S_OK, "%s", api.last_error());
    CHECK(second.references == 1, "same helper again: %d", second.references);
    CHECK(api.Term(driver, &result) == VANTOR_S_OK, "Term");
    CHECK(second.references == 0, "after Term: %d", second.references);
    CHECK(api.Term(driver, &result) == VANTOR_S_OK && second.references == 0, "second Term");
    CHECK(Init(driver, NULL, &result) == VANTOR_S_OK, "init without a helper: %s", api.last_error());
    api.driver_release(driver);
    return 0;
}

int c_host_levels_before_window_are_cleared(void) {
    vantor_driver* driver = NULL;
    vantor_bool result = 0;
    CHECK(sim_start() == 0, "no simulator");
    CHECK(LoadPlugin() == 0, "plug-in not loaded");
    CHECK(api.driver_create(&driver) == VANTOR_S_OK, "%s", api.last_error());
    CHECK(Set(driver, 1, 77, &result) == VANTOR_S_OK && result == VANTOR_TRUE, "SetChannel before init");
    CHECK(Set(driver, 2, 256, &result) == VANTOR_E_OVERFLOW, "overflow before init");
    CHECK(Init(driver, NULL, &result) == VANTOR_S_OK, "%s", api.last_error());
    CHECK(api.select_port(1, &result) == VANTOR_S_OK && result == VANTOR_TRUE, "port 1: %s",
          api.last_error());
    CHECK(Set(driver, 3, 33, &result) == VANTOR_S_OK, "SetChannel after init");
    CHECK(api.Enable(driver, &result) == VANTOR_S_OK, "Enable");
    CHECK(WaitForFrames(1, 3000), "no output frames");
    CHECK(sim_last_frame_byte(OUTPUT_LABEL, 1) == 0, "level set before the window survived: %d",
          sim_last_frame_byte(OUTPUT_LABEL, 1));
    CHECK(sim_last_frame_byte(OUTPUT_LABEL, 3) == 33, "level set after init lost");
    return 0;
}

int c_host_output_frames_carry_levels(void) {
    vantor_driver* driver = NULL;
    vantor_bool result = 0;
    CHECK(StartWithWidget(&driver) == 0, "start failed");
    CHECK(Set(driver, 1, 255, &result) == VANTOR_S_OK, "set");
    CHECK(Set(driver, 2, 0x7E, &result) == VANTOR_S_OK, "set");
    CHECK(Set(driver, 3, 0xE7, &result) == VANTOR_S_OK, "set");
    CHECK(Set(driver, 512, 7, &result) == VANTOR_S_OK, "set");
    CHECK(sim_frame_count(OUTPUT_LABEL) == 0, "output before Enable");
    CHECK(api.Enable(driver, &result) == VANTOR_S_OK && result == VANTOR_TRUE, "Enable");
    CHECK(WaitForFrames(5, 3000), "only %zu frames", sim_frame_count(OUTPUT_LABEL));
    CHECK(sim_last_frame_length(OUTPUT_LABEL) == 513, "data length %zu", sim_last_frame_length(OUTPUT_LABEL));
    CHECK(sim_last_frame_byte(OUTPUT_LABEL, 0) == 0, "start code");
    CHECK(sim_last_frame_byte(OUTPUT_LABEL, 1) == 255, "channel 1");
    CHECK(sim_last_frame_byte(OUTPUT_LABEL, 2) == 0x7E && sim_last_frame_byte(OUTPUT_LABEL, 3) == 0xE7,
          "delimiter values not sent verbatim");
    CHECK(sim_last_frame_byte(OUTPUT_LABEL, 4) == 0, "channel 4");
    CHECK(sim_last_frame_byte(OUTPUT_LABEL, 512) == 7, "channel 512");
    /* a level changed while output runs goes out with a later frame */
    CHECK(Set(driver, 1, 9, &result) == VANTOR_S_OK, "set");
    const size_t seen = sim_frame_count(OUTPUT_LABEL);
    CHECK(WaitForFrames(seen + 2, 3000), "output stopped");
    CHECK(sim_last_frame_byte(OUTPUT_LABEL, 1) == 9, "changed level not sent");
    return 0;
}

int c_host_disable_stops_frames(void) {
    vantor_driver* driver = NULL;
    vantor_bool result = 0;
    CHECK(StartWithWidget(&driver) == 0, "start failed");
    CHECK(api.Enable(driver, &result) == VANTOR_S_OK, "Enable");
    CHECK(WaitForFrames(3, 3000), "no output frames");
    CHECK(api.Disable(driver, &result) == VANTOR_S_OK && result == VANTOR_TRUE, "Disable");
    /* a frame already handed to the pty may still be on its way */
    api.process_events(50);
    const size_t stopped = sim_frame_count(OUTPUT_LABEL);
    api.process_events(300);
    CHECK(sim_frame_count(OUTPUT_LABEL) == stopped, "%zu frames after Disable",
          sim_frame_count(OUTPUT_LABEL) - stopped);
    CHECK(api.Enable(driver, &result) == VANTOR_S_OK, "Enable again");
    CHECK(WaitForFrames(stopped + 2, 3000), "output did not resume");
    return 0;
}

int c_host_term_leaves_output_running(void) {
    vantor_driver* driver = NULL;
    vantor_bool result = 0;
    CHECK(StartWithWidget(&driver) == 0, "start failed");
    CHECK(api.Enable(driver, &result) == VANTOR_S_OK, "Enable");
    CHECK(WaitForFrames(2, 3000), "no output frames");
    CHECK(api.Term(driver, &result) == VANTOR_S_OK && result == VANTOR_FALSE, "Term");
    const size_t atTerm = sim_frame_count(OUTPUT_LABEL);
    CHECK(WaitForFrames(atTerm + 3, 3000), "output stopped with Term");
    return 0;
}

int c_host_enable_without_port_is_silent(void) {
    vantor_driver* driver = NULL;
    vantor_bool result = 0;
    CHECK(CaptureMessages() == 0, "cannot capture stderr");
    /* the widget exists as port 1, but no port is chosen */
    CHECK(sim_start() == 0, "no simulator");
    CHECK(LoadPlugin() == 0, "plug-in not loaded");
    CHECK(api.driver_create(&driver) == VANTOR_S_OK, "%s", api.last_error());
    /* Enable reaches the window first, creating it hidden */
    CHECK(api.Enable(driver, &result) == VANTOR_S_OK && result == VANTOR_TRUE, "Enable: %s",
          api.last_error());
    api.process_events(300);
    CHECK(Init(driver, NULL, &result) == VANTOR_S_OK, "%s", api.last_error());
    api.process_events(300);
    CHECK(sim_frame_count(OUTPUT_LABEL) == 0, "%zu frames without a port", sim_frame_count(OUTPUT_LABEL));
    CHECK(CountMessages() == 0, "%d messages shown", CountMessages());
    return 0;
}

int c_host_vanished_port_reports_once_and_recovers(void) {
    vantor_driver* driver = NULL;
    vantor_bool result = 0;
    CHECK(CaptureMessages() == 0, "cannot capture stderr");
    CHECK(StartWithWidget(&driver) == 0, "start failed");
    CHECK(Set(driver, 1, 42, &result) == VANTOR_S_OK, "set");
    CHECK(api.Enable(driver, &result) == VANTOR_S_OK, "Enable");
    CHECK(WaitForFrames(3, 3000), "no output frames");
    sim_stop();
    api.process_events(500);
    CHECK(CountMessages() == 1, "%d messages for one vanished device", CountMessages());
    /* the device comes back (on a new pty) and the user chooses its port again */
    CHECK(sim_start() == 0, "no simulator");
    CHECK(api.select_port(1, &result) == VANTOR_S_OK && result == VANTOR_TRUE, "port 1: %s",
          api.last_error());
    CHECK(WaitForFrames(3, 3000), "output did not come back");
    CHECK(sim_last_frame_byte(OUTPUT_LABEL, 1) == 42, "levels lost");
    CHECK(CountMessages() == 1, "%d messages after recovery", CountMessages());
    return 0;
}

int c_host_unload_test_counts_objects(void) {
    vantor_driver* driver = NULL;
    vantor_driver* made = NULL;
    vantor_class_factory* factory = NULL;
    CHECK(LoadPlugin() == 0, "plug-in not loaded");
    CHECK(api.DllCanUnloadNow() == VANTOR_S_OK, "busy with no objects");
    CHECK(api.driver_create(&driver) == VANTOR_S_OK, "%s", api.last_error());
    CHECK(api.DllCanUnloadNow() == VANTOR_S_FALSE, "unloadable with a live driver");
    api.driver_release(driver);
    CHECK(api.DllCanUnloadNow() == VANTOR_S_OK, "busy after release");

    CHECK(api.DllGetClassObject("{00000000-0000-0000-0000-000000000000}", NULL, (void**)&factory) ==
                  VANTOR_E_CLASSNOTAVAILABLE &&
              factory == NULL,
          "factory for an unknown class");
    CHECK(api.DllGetClassObject(VANTOR_CLSID, VANTOR_IID, (void**)&factory) == VANTOR_E_NOINTERFACE,
          "factory for the wrong interface");
    CHECK(api.DllGetClassObject(VANTOR_CLSID, VANTOR_IID_CLASS_FACTORY, (void**)&factory) == VANTOR_S_OK &&
              factory != NULL,
          "no factory: %s", api.last_error());
    CHECK(api.DllCanUnloadNow() == VANTOR_S_OK, "a factory alone keeps the library loaded");
    CHECK(factory->lock_server(factory, VANTOR_TRUE) == VANTOR_S_OK, "lock: %s", api.last_error());
    CHECK(api.DllCanUnloadNow() == VANTOR_S_FALSE, "unloadable with a server lock");
    CHECK(factory->create_instance(factory, &made) == VANTOR_S_OK && made != NULL, "factory made nothing");
    CHECK(factory->lock_server(factory, VANTOR_FALSE) == VANTOR_S_OK, "unlock: %s", api.last_error());
    CHECK(factory->lock_server(factory, VANTOR_FALSE) == VANTOR_E_FAIL && strlen(api.last_error()) > 0,
          "unlocked without a lock");
    factory->release(factory);
    CHECK(api.DllCanUnloadNow() == VANTOR_S_FALSE, "unloadable with a live driver from the factory");
    char* name = NULL;
    CHECK(api.PluginName(made, &name) == VANTOR_S_OK && strcmp(name, "Vantor Driver") == 0, "made driver");
    api.string_free(name);
    api.driver_release(made);
    CHECK(api.DllCanUnloadNow() == VANTOR_S_OK, "busy after everything was released");
    return 0;
}

static int FileHasLine(const char* path, const char* wanted) {
    FILE* file = fopen(path, "r");
    if (!file) return 0;
    char line[PATH_MAX + 64];
    int found = 0;
    while (!found && fgets(line, sizeof line, file)) {
        line[strcspn(line, "\n")] = '\0';
        found = strcmp(line, wanted) == 0;
    }
    fclose(file);
    return found;
}

int c_host_register_and_unregister(void) {
    char home[] = "/tmp/vantor-xdg-XXXXXX";
    char file[PATH_MAX], line[PATH_MAX + 16], library[PATH_MAX];
    struct stat info;
    CHECK(mkdtemp(home) != NULL, "no temporary folder");
    setenv("XDG_DATA_HOME", home, 1);
    CHECK(LoadPlugin() == 0, "plug-in not loaded");
    CHECK(realpath(pluginPath, library) != NULL, "no real path");
    snprintf(file, sizeof file, "%s/zandorvex/registry/%s.reg", home, VANTOR_PROGID);

    CHECK(api.DllRegisterServer() == VANTOR_S_OK, "%s", api.last_error());
    CHECK(stat(file, &info) == 0, "no registration file %s", file);
    CHECK(FileHasLine(file, "ProgID=" VANTOR_PROGID), "ProgID");
    CHECK(FileHasLine(file, "CLSID=" VANTOR_CLSID), "CLSID");
    CHECK(FileHasLine(file, "IID=" VANTOR_IID), "IID");
    CHECK(FileHasLine(file, "TypeLib=" VANTOR_LIBID), "TypeLib");
    CHECK(FileHasLine(file, "TypeLibName=" VANTOR_TYPELIB_NAME), "TypeLibName");
    CHECK(FileHasLine(file, "TypeLibVersion=2.0"), "TypeLibVersion");
    snprintf(line, sizeof line, "Library=%s", library);
    CHECK(FileHasLine(file, line), "%s", line);
    CHECK(api.DllRegisterServer() == VANTOR_S_OK, "registering twice: %s", api.last_error());

    CHECK(api.DllUnregisterServer() == VANTOR_S_OK, "%s", api.last_error());
    CHECK(stat(file, &info) != 0, "registration file left behind");
    CHECK(api.DllUnregisterServer() == VANTOR_S_OK, "unregistering what is not registered");
    return 0;
}

int c_host_extensions_reject_bad_values(void) {
    vantor_driver* driver = NULL;
    vantor_bool result = 0;
    setenv("VANTOR_SERIAL_PORTS", "", 1); /* no port has a device */
    CHECK(LoadPlugin() == 0, "plug-in not loaded");
    CHECK(api.driver_create(&driver) == VANTOR_S_OK, "%s", api.last_error());
    CHECK(Init(driver, NULL, &result) == VANTOR_S_OK, "%s", api.last_error());
    CHECK(api.set_universe(256) == VANTOR_E_FAIL && strlen(api.last_error()) > 0, "universe 256 accepted");
    CHECK(api.set_universe(-1) == VANTOR_E_FAIL, "universe -1 accepted");
    CHECK(api.set_universe(255) == VANTOR_S_OK, "universe 255: %s", api.last_error());
    CHECK(api.SetChannel(driver, NULL, NULL, &result) == VANTOR_E_FAIL, "missing arguments accepted");
    CHECK(api.select_port(17, &result) == VANTOR_E_FAIL && strstr(api.last_error(), "17") != NULL,
          "port 17 accepted");
    CHECK(api.select_port(0, &result) == VANTOR_E_FAIL, "port 0 accepted");
    result = VANTOR_TRUE;
    CHECK(api.select_port(2, &result) == VANTOR_S_OK && result == VANTOR_FALSE,
          "a port without a device reported open: %s", api.last_error());
    return 0;
}

/* A faulty frame, an RDM report and a report without data are counted, each by its reason. A host built
   against an older header passes a smaller size: nothing beyond it is written. */
int c_host_receive_counts_fill_what_the_host_gave(void) {
    static const uint8_t faulty[] = {0x7E, 5, 3, 0, 1, 0, 9, 0xE7};
    static const uint8_t rdm[] = {0x7E, 5, 3, 0, 0, 0xCC, 1, 0xE7};
    static const uint8_t empty[] = {0x7E, 5, 0, 0, 0xE7};
    vantor_driver* driver = NULL;
    vantor_receive_counts counts;
    CHECK(StartWithWidget(&driver) == 0, "start failed");
    sim_send(faulty, sizeof faulty);
    sim_send(rdm, sizeof rdm);
    sim_send(empty, sizeof empty);
    for (int waited = 0; waited < 3000; waited += 10) {
        memset(&counts, 0, sizeof counts);
        counts.size = sizeof counts;
        CHECK(api.get_receive_counts(&counts) == VANTOR_S_OK, "%s", api.last_error());
        if (counts.no_levels > 0) break;
        api.process_events(10);
    }
    CHECK(counts.size == sizeof counts && counts.faulty == 1 && counts.not_start_code_0 == 1 &&
              counts.no_levels == 1,
          "size %u, faulty %llu, start code not 0 %llu, no levels %llu", (unsigned)counts.size,
          (unsigned long long)counts.faulty, (unsigned long long)counts.not_start_code_0,
          (unsigned long long)counts.no_levels);

    unsigned char older[sizeof counts];
    const uint32_t olderSize = offsetof(vantor_receive_counts, not_start_code_0);
    memset(older, 0xAA, sizeof older);
    memcpy(older, &olderSize, sizeof olderSize);
    CHECK(api.get_receive_counts((vantor_receive_counts*)older) == VANTOR_S_OK, "%s", api.last_error());
    memcpy(&counts, older, olderSize);
    CHECK(counts.size == olderSize && counts.faulty == 1, "older size %u, faulty %llu", (unsigned)counts.size,
          (unsigned long long)counts.faulty);
    for (size_t at = olderSize; at < sizeof older; at++) CHECK(older[at] == 0xAA, "byte %zu written", at);

    counts.size = 2;
    CHECK(api.get_receive_counts(&counts) == VANTOR_E_FAIL && strlen(api.last_error()) > 0,
          "a size that does not hold the size field accepted");
    CHECK(api.get_receive_counts(NULL) == VANTOR_E_FAIL, "no counts accepted");
    return 0;
}
