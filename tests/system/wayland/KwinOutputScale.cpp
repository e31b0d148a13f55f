// kwin-output-scale SCALE: sets the scale of every output of the KDE compositor at
// $WAYLAND_DISPLAY, as the desktop's display settings do (kde_output_management_v2), and waits
// for its answer. For the scripts that change an output's scale while the saver runs; Debian's
// kscreen-doctor crashes (SIGSEGV) when it applies a scale to kwin 5.27's nested output.
// Exit codes: 0 applied, 1 refused or failed, 2 bad usage.

#include <kde-output-device-v2-client-protocol.h>
#include <kde-output-management-v2-client-protocol.h>
#include <wayland-client.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

namespace {

struct Globals {
    wl_registry* registry = nullptr;
    kde_output_management_v2* management = nullptr;
    std::vector<kde_output_device_v2*> devices;
    std::vector<wl_proxy*> made; // the objects the devices' events create (their modes)
};

// Every event of an output device is let go but for the objects it creates, which are kept to be
// destroyed at the end (the sanitizer builds count them as leaks otherwise).
int keepNewObjects(const void*, void* target, std::uint32_t, const wl_message* message,
                   wl_argument* arguments) {
    auto& globals = *static_cast<Globals*>(wl_proxy_get_user_data(static_cast<wl_proxy*>(target)));
    int index = 0;
    for (const char* type = message->signature; *type; ++type) {
        if (*type == '?' || (*type >= '0' && *type <= '9'))
            continue;
        if (*type == 'n' && arguments[index].o)
            globals.made.push_back(reinterpret_cast<wl_proxy*>(arguments[index].o));
        ++index;
    }
    return 0;
}

void onGlobal(void* data, wl_registry* registry, std::uint32_t name, const char* interface,
              std::uint32_t version) {
    auto& globals = *static_cast<Globals*>(data);
    if (std::strcmp(interface, kde_output_management_v2_interface.name) == 0)
        globals.management = static_cast<kde_output_management_v2*>(wl_registry_bind(
            registry, name, &kde_output_management_v2_interface, std::min(version, 2u)));
    else if (std::strcmp(interface, kde_output_device_v2_interface.name) == 0) {
        auto* device = static_cast<kde_output_device_v2*>(
            wl_registry_bind(registry, name, &kde_output_device_v2_interface, 1));
        wl_proxy_add_dispatcher(reinterpret_cast<wl_proxy*>(device), keepNewObjects, nullptr,
                                &globals);
        globals.devices.push_back(device);
    }
}

void release(Globals& globals) {
    for (wl_proxy* made : globals.made)
        wl_proxy_destroy(made);
    for (kde_output_device_v2* device : globals.devices)
        wl_proxy_destroy(reinterpret_cast<wl_proxy*>(device));
    if (globals.management)
        wl_proxy_destroy(reinterpret_cast<wl_proxy*>(globals.management));
    wl_registry_destroy(globals.registry);
}

void onGlobalRemove(void*, wl_registry*, std::uint32_t) {}

const wl_registry_listener kRegistryListener{onGlobal, onGlobalRemove};

enum class Answer { None, Applied, Failed };

void onApplied(void* data, kde_output_configuration_v2*) {
    *static_cast<Answer*>(data) = Answer::Applied;
}

void onFailed(void* data, kde_output_configuration_v2*) {
    *static_cast<Answer*>(data) = Answer::Failed;
}

const kde_output_configuration_v2_listener kConfigurationListener{onApplied, onFailed};

} // namespace

int main(int argc, char** argv) {
    char* end = nullptr;
    const double scale = argc == 2 ? std::strtod(argv[1], &end) : 0.0;
    if (argc != 2 || *end != '\0' || !(scale >= 0.25 && scale <= 8.0)) {
        std::cerr << "usage: kwin-output-scale SCALE   (0.25 to 8, e.g. 1.5)\n";
        return 2;
    }
    wl_display* display = wl_display_connect(nullptr);
    if (!display) {
        std::cerr << "kwin-output-scale: cannot reach the compositor at $WAYLAND_DISPLAY\n";
        return 1;
    }
    Globals globals;
    globals.registry = wl_display_get_registry(display);
    wl_registry_add_listener(globals.registry, &kRegistryListener, &globals);
    wl_display_roundtrip(display);
    if (!globals.management || globals.devices.empty()) {
        std::cerr << "kwin-output-scale: the compositor offers no kde_output_management_v2 or "
                     "no kde_output_device_v2\n";
        release(globals);
        wl_display_disconnect(display);
        return 1;
    }
    kde_output_configuration_v2* configuration =
        kde_output_management_v2_create_configuration(globals.management);
    Answer answer = Answer::None;
    kde_output_configuration_v2_add_listener(configuration, &kConfigurationListener, &answer);
    for (kde_output_device_v2* device : globals.devices)
        kde_output_configuration_v2_scale(configuration, device, wl_fixed_from_double(scale));
    kde_output_configuration_v2_apply(configuration);
    while (answer == Answer::None && wl_display_dispatch(display) >= 0) {
    }
    if (answer == Answer::None)
        std::cerr << "kwin-output-scale: the connection to the compositor was lost\n";
    if (answer == Answer::Failed)
        std::cerr << "kwin-output-scale: the compositor did not apply scale " << argv[1] << "\n";
    kde_output_configuration_v2_destroy(configuration);
    release(globals);
    wl_display_disconnect(display);
    return answer == Answer::Applied ? 0 : 1;
}
