#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "c_status.h"
#include "platform/qt/qt_event_loop.h"
#include "window_actions.h"

struct vantor_driver {
    clsOutputDriver driver;
};

namespace {

thread_local std::string lastFailure;

// The C host's helper record, referenced through its own two functions.
class CHostHelper : public HostHelperReference {
public:
    explicit CHostHelper(vantor_host_helper* helper) : helper_(helper) {
        if (helper_->add_ref) helper_->add_ref(helper_);
    }
    ~CHostHelper() override {
        if (helper_->release) helper_->release(helper_);
    }

private:
    vantor_host_helper* helper_;
};

template <typename T>
T& Required(T* pointer, const char* what) {
    if (!pointer) throw std::invalid_argument(std::string("Missing argument: ") + what);
    return *pointer;
}

std::string TextOf(char** text) {
    return text && *text ? std::string(*text) : std::string();
}

}  // namespace

void SetLastFailure(const std::string& description) {
    lastFailure = description;
}

extern "C" {

vantor_status vantor_driver_create(vantor_driver** driver) {
    return Guarded([&] {
        vantor_driver*& out = Required(driver, "driver");
        out = new vantor_driver{clsOutputDriver(ThePlugin())};
        ThePlugin().ObjectCreated();
    });
}

vantor_status vantor_driver_release(vantor_driver* driver) {
    if (!driver) return VANTOR_S_OK;
    delete driver;
    ThePlugin().ObjectReleased();
    return VANTOR_S_OK;
}

vantor_status vantor_Disable(vantor_driver* driver, vantor_bool* result) {
    return Guarded([&] {
        auto& out = Required(result, "result");
        out = Required(driver, "driver").driver.Disable();
    });
}

vantor_status vantor_Enable(vantor_driver* driver, vantor_bool* result) {
    return Guarded([&] {
        auto& out = Required(result, "result");
        out = Required(driver, "driver").driver.Enable();
    });
}

vantor_status vantor_PluginName(vantor_driver* driver, char** result) {
    return Guarded([&] {
        auto& out = Required(result, "result");
        const std::string name = Required(driver, "driver").driver.PluginName();
        out = strdup(name.c_str());
        if (!out) throw std::bad_alloc();
    });
}

vantor_status vantor_SetChannel(vantor_driver* driver, int32_t* channel, int32_t* value,
                                vantor_bool* result) {
    return Guarded([&] {
        auto& out = Required(result, "result");
        out = Required(driver, "driver")
                  .driver.SetChannel(Required(channel, "channel"), Required(value, "value"));
    });
}

vantor_status vantor_Configure(vantor_driver* driver, vantor_bool* result) {
    return Guarded([&] {
        auto& out = Required(result, "result");
        out = Required(driver, "driver").driver.Configure();
    });
}

vantor_status vantor_init(vantor_driver* driver, char** calling_app_title, char** my_filename,
                          vantor_host_helper** host_plugin_helper, vantor_bool* result) {
    return Guarded([&] {
        auto& out = Required(result, "result");
        std::string title = TextOf(calling_app_title);
        std::string filename = TextOf(my_filename);
        vantor_host_helper* helper = host_plugin_helper ? *host_plugin_helper : nullptr;
        std::unique_ptr<HostHelperReference> reference;
        if (helper) reference = std::make_unique<CHostHelper>(helper);
        out = Required(driver, "driver").driver.init(title, filename, std::move(reference));
    });
}

vantor_status vantor_Term(vantor_driver* driver, vantor_bool* result) {
    return Guarded([&] {
        auto& out = Required(result, "result");
        out = Required(driver, "driver").driver.Term();
    });
}

void vantor_string_free(char* text) {
    std::free(text);
}

const char* vantor_last_error(void) {
    return lastFailure.c_str();
}

vantor_status vantor_process_events(int32_t max_ms) {
    return Guarded([&] {
        EnsureQtApplication();
        QtEventLoop::RunFor(max_ms);
    });
}

vantor_status vantor_select_port(int32_t port, vantor_bool* result) {
    return Guarded([&] {
        auto& out = Required(result, "result");
        out = ToVBool(SelectPort(ThePlugin(), port));
    });
}

vantor_status vantor_set_bridge_mode(vantor_bool send) {
    return Guarded([&] { SetBridgeMode(ThePlugin(), send != VANTOR_FALSE); });
}

vantor_status vantor_set_universe(int32_t universe) {
    return Guarded([&] { SetUniverse(ThePlugin(), universe); });
}

vantor_status vantor_set_protocol(int32_t protocol) {
    static_assert(VANTOR_PROTOCOL_ARTNET == 0 && VANTOR_PROTOCOL_SACN == 1, "as ChooseProtocol numbers them");
    return Guarded([&] { ChooseProtocol(ThePlugin(), protocol); });
}

vantor_status vantor_set_sacn_priority(int32_t priority) {
    return Guarded([&] { SacnSide(ThePlugin()).SetPriority(priority); });
}

vantor_status vantor_set_sacn_ttl(int32_t ttl) {
    return Guarded([&] { SacnSide(ThePlugin()).SetTtl(ttl); });
}

vantor_status vantor_get_sacn_sent(uint64_t* sent, uint64_t* refused) {
    return Guarded([&] {
        auto& sentOut = Required(sent, "sent");
        auto& refusedOut = Required(refused, "refused");
        const SacnBridge& sacn = SacnSide(ThePlugin());
        sentOut = sacn.PacketsSent();
        refusedOut = sacn.SendFailures();
    });
}

vantor_status vantor_update_firmware(const char* path, vantor_bool* result) {
    return Guarded([&] {
        auto& out = Required(result, "result");
        if (!path) throw std::invalid_argument("Missing argument: path");
        out = ToVBool(UpdateFirmware(ThePlugin(), path));
    });
}

}  // extern "C"
