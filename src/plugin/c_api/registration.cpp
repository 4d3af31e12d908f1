#include <strings.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "c_status.h"
#include "platform/qt/library_path.h"

namespace {

std::filesystem::path RegistryFile() {
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    std::filesystem::path base;
    if (dataHome && *dataHome) {
        base = dataHome;
    } else {
        const char* home = std::getenv("HOME");
        if (!home || !*home) throw std::runtime_error("Neither XDG_DATA_HOME nor HOME is set");
        base = std::filesystem::path(home) / ".local" / "share";
    }
    return base / "zandorvex" / "registry" / (std::string(VANTOR_PROGID) + ".reg");
}

struct ClassFactory {
    vantor_class_factory base;
};

vantor_status CreateInstance(vantor_class_factory*, vantor_driver** driver) {
    return vantor_driver_create(driver);
}

// A factory is not an object that keeps the library loaded; only a server lock does that.
void ReleaseFactory(vantor_class_factory* self) {
    delete reinterpret_cast<ClassFactory*>(self);
}

vantor_status LockServer(vantor_class_factory*, vantor_bool lock) {
    return Guarded([&] {
        if (lock)
            ThePlugin().LockServer();
        else
            ThePlugin().UnlockServer();
    });
}

bool SameId(const char* a, const char* b) {
    return strcasecmp(a, b) == 0;
}

}  // namespace

extern "C" {

int32_t DllRegisterServer(void) {
    return Guarded([] {
        const std::string library = OwnLibraryPath();
        if (library.empty()) throw std::runtime_error("Cannot tell where the plug-in library lies");
        const auto file = RegistryFile();
        std::filesystem::create_directories(file.parent_path());
        std::ofstream out(file, std::ios::trunc);
        out << "[" << VANTOR_PROGID << "]\n"
            << "ProgID=" << VANTOR_PROGID << "\n"
            << "Class=" << VANTOR_CLASS_NAME << "\n"
            << "CLSID=" << VANTOR_CLSID << "\n"
            << "Interface=" << VANTOR_INTERFACE_NAME << "\n"
            << "IID=" << VANTOR_IID << "\n"
            << "TypeLib=" << VANTOR_LIBID << "\n"
            << "TypeLibName=" << VANTOR_TYPELIB_NAME << "\n"
            << "TypeLibVersion=" << VANTOR_TYPELIB_VERSION_MAJOR << "." << VANTOR_TYPELIB_VERSION_MINOR
            << "\n"
            << "Library=" << library << "\n";
        out.close();
        if (!out) throw std::runtime_error("Cannot write " + file.string());
    });
}

int32_t DllUnregisterServer(void) {
    return Guarded([] {
        const auto file = RegistryFile();
        std::error_code error;
        std::filesystem::remove(file, error);
        if (error) throw std::runtime_error("Cannot remove " + file.string() + ": " + error.message());
    });
}

int32_t DllGetClassObject(const char* clsid, const char* iid, void** factory) {
    if (!factory) {
        SetLastFailure("Missing argument: factory");
        return VANTOR_E_FAIL;
    }
    *factory = nullptr;
    if (!clsid || !SameId(clsid, VANTOR_CLSID)) {
        SetLastFailure("Class not available");
        return VANTOR_E_CLASSNOTAVAILABLE;
    }
    if (iid && !SameId(iid, VANTOR_IID_CLASS_FACTORY)) {
        SetLastFailure("No such interface");
        return VANTOR_E_NOINTERFACE;
    }
    return Guarded([&] {
        auto* made = new ClassFactory{{&CreateInstance, &ReleaseFactory, &LockServer}};
        *factory = &made->base;
    });
}

int32_t DllCanUnloadNow(void) {
    return ThePlugin().CanUnload() ? VANTOR_S_OK : VANTOR_S_FALSE;
}

}  // extern "C"
