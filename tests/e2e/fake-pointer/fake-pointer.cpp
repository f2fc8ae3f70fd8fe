// Test equipment: a mouse for a headless wlroots compositor (sway), through its virtual pointer
// protocol (zwlr_virtual_pointer_manager_v1) on $WAYLAND_DISPLAY.
//
//   fake-pointer WIDTHxHEIGHT   reads lines from standard input and answers each with "ok" once
//                               the compositor has its events (or "failed"):
//                                 click X Y   moves to pixel X,Y of the output (WIDTHxHEIGHT
//                                             large) and presses and releases the left button
//
// The mouse stays plugged in while the tool runs, as a real one does: a pointer added for one
// click and taken away after it would press before a client had its wl_pointer, and the client
// would never see the click. Ends when standard input does; exit status 0, 1 with a message
// when the compositor has no virtual pointers, 2 for bad usage.
#include "virtual-pointer-client-protocol.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <linux/input-event-codes.h>
#include <sstream>
#include <string>
#include <wayland-client.h>

namespace {

struct Globals {
    zwlr_virtual_pointer_manager_v1 *manager = nullptr;
    wl_seat *seat = nullptr;
};

void onGlobal(void *data, wl_registry *registry, uint32_t name, const char *interface, uint32_t)
{
    auto *globals = static_cast<Globals *>(data);
    if (std::strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0
        && !globals->manager) {
        globals->manager = static_cast<zwlr_virtual_pointer_manager_v1 *>(
            wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1));
    } else if (std::strcmp(interface, wl_seat_interface.name) == 0 && !globals->seat) {
        globals->seat
            = static_cast<wl_seat *>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
    }
}

void onGlobalRemove(void *, wl_registry *, uint32_t) { }
constexpr wl_registry_listener registryListener { onGlobal, onGlobalRemove };

uint32_t nowMs()
{
    using namespace std::chrono;
    return uint32_t(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

} // namespace

int main(int argc, char **argv)
{
    unsigned width = 0;
    unsigned height = 0;
    if (argc != 2 || std::sscanf(argv[1], "%ux%u", &width, &height) != 2 || !width || !height) {
        std::fprintf(stderr, "Usage: fake-pointer WIDTHxHEIGHT  (then lines: click X Y)\n");
        return 2;
    }
    wl_display *display = wl_display_connect(nullptr);
    if (!display) {
        std::fprintf(stderr, "fake-pointer: cannot connect to the Wayland display\n");
        return 1;
    }
    Globals globals;
    wl_registry *registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &registryListener, &globals);
    wl_display_roundtrip(display);
    if (!globals.manager || !globals.seat) {
        std::fprintf(stderr, "fake-pointer: the compositor offers no %s\n",
            globals.manager ? "seat" : "zwlr_virtual_pointer_manager_v1");
        wl_display_disconnect(display); // frees nothing of ours that matters: the tool ends
        return 1;
    }
    zwlr_virtual_pointer_v1 *pointer
        = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(globals.manager, globals.seat);
    wl_display_roundtrip(display);

    std::string line;
    while (std::getline(std::cin, line)) {
        std::istringstream words(line);
        std::string command;
        unsigned x = 0;
        unsigned y = 0;
        if (!(words >> command >> x >> y) || command != "click" || x >= width || y >= height) {
            std::fprintf(stderr, "fake-pointer: cannot do \"%s\"\n", line.c_str());
            std::cout << "failed" << std::endl;
            continue;
        }
        zwlr_virtual_pointer_v1_motion_absolute(pointer, nowMs(), x, y, width, height);
        zwlr_virtual_pointer_v1_frame(pointer);
        zwlr_virtual_pointer_v1_button(pointer, nowMs(), BTN_LEFT, WL_POINTER_BUTTON_STATE_PRESSED);
        zwlr_virtual_pointer_v1_frame(pointer);
        zwlr_virtual_pointer_v1_button(
            pointer, nowMs(), BTN_LEFT, WL_POINTER_BUTTON_STATE_RELEASED);
        zwlr_virtual_pointer_v1_frame(pointer);
        const bool delivered = wl_display_roundtrip(display) >= 0;
        std::cout << (delivered ? "ok" : "failed") << std::endl;
    }
    // The compositor drops this client's objects as it disconnects; these free our side.
    wl_proxy_destroy(reinterpret_cast<wl_proxy *>(pointer));
    wl_proxy_destroy(reinterpret_cast<wl_proxy *>(globals.manager));
    wl_seat_destroy(globals.seat);
    wl_registry_destroy(registry);
    wl_display_disconnect(display);
    return 0;
}
