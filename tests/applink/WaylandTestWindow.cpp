// A small Wayland window for the focus tests: one xdg-shell toplevel with the app id and
// title given, showing a plain shared-memory buffer, so that a compositor maps it and
// lists it. Runs until the compositor closes it or the process is signalled.
//
//   applink_wayland_window APP_ID TITLE     (WAYLAND_DISPLAY names the compositor)
#include <cstdio>
#include <cstring>
#include <sys/mman.h>
#include <unistd.h>

#include <wayland-client.h>

#include "xdg-shell-client-protocol.h"

namespace {

constexpr int kWidth = 64;
constexpr int kHeight = 48;

struct Globals {
    wl_compositor* compositor = nullptr;
    wl_shm* shm = nullptr;
    xdg_wm_base* wmBase = nullptr;
};

struct Window {
    wl_surface* surface = nullptr;
    xdg_surface* xdgSurface = nullptr;
    xdg_toplevel* toplevel = nullptr;
    wl_buffer* buffer = nullptr;
    bool shown = false;
};

Globals g;

void global(void*, wl_registry* registry, uint32_t name, const char* interface, uint32_t) {
    if (std::strcmp(interface, wl_compositor_interface.name) == 0)
        g.compositor = static_cast<wl_compositor*>(wl_registry_bind(registry, name, &wl_compositor_interface, 1));
    else if (std::strcmp(interface, wl_shm_interface.name) == 0)
        g.shm = static_cast<wl_shm*>(wl_registry_bind(registry, name, &wl_shm_interface, 1));
    else if (std::strcmp(interface, xdg_wm_base_interface.name) == 0)
        g.wmBase = static_cast<xdg_wm_base*>(wl_registry_bind(registry, name, &xdg_wm_base_interface, 1));
}
void globalRemove(void*, wl_registry*, uint32_t) {}
const wl_registry_listener kRegistry = {global, globalRemove};

void ping(void*, xdg_wm_base* base, uint32_t serial) {
    xdg_wm_base_pong(base, serial);
}
const xdg_wm_base_listener kWmBase = {ping};

wl_buffer* makeBuffer(uint32_t colour) {
    const int stride = kWidth * 4, size = stride * kHeight;
    const int fd = memfd_create("applink-window", MFD_CLOEXEC);
    if (fd < 0 || ftruncate(fd, size) != 0)
        return nullptr;
    void* pixels = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (pixels == MAP_FAILED) {
        close(fd);
        return nullptr;
    }
    for (int i = 0; i < kWidth * kHeight; ++i)
        static_cast<uint32_t*>(pixels)[i] = colour;
    munmap(pixels, size);
    wl_shm_pool* pool = wl_shm_create_pool(g.shm, fd, size);
    wl_buffer* buffer = wl_shm_pool_create_buffer(pool, 0, kWidth, kHeight, stride, WL_SHM_FORMAT_XRGB8888);
    wl_shm_pool_destroy(pool);
    close(fd);
    return buffer;
}

// The compositor maps a toplevel once it has a buffer, which may come only after the
// first configure has been acknowledged.
void surfaceConfigure(void* data, xdg_surface* surface, uint32_t serial) {
    auto* w = static_cast<Window*>(data);
    xdg_surface_ack_configure(surface, serial);
    if (!w->shown) {
        wl_surface_attach(w->surface, w->buffer, 0, 0);
        wl_surface_damage(w->surface, 0, 0, kWidth, kHeight);
        w->shown = true;
    }
    wl_surface_commit(w->surface);
}
const xdg_surface_listener kSurface = {surfaceConfigure};

void toplevelConfigure(void*, xdg_toplevel*, int32_t, int32_t, wl_array*) {}
void toplevelClose(void*, xdg_toplevel*) {
    _exit(0);
}
// Bound at version 1: the later events never come.
const xdg_toplevel_listener kToplevel = {toplevelConfigure, toplevelClose, nullptr, nullptr};

void show(Window& w, const char* appId, const char* title) {
    w.buffer = makeBuffer(0xFF3060A0u);
    w.surface = wl_compositor_create_surface(g.compositor);
    w.xdgSurface = xdg_wm_base_get_xdg_surface(g.wmBase, w.surface);
    xdg_surface_add_listener(w.xdgSurface, &kSurface, &w);
    w.toplevel = xdg_surface_get_toplevel(w.xdgSurface);
    xdg_toplevel_add_listener(w.toplevel, &kToplevel, &w);
    xdg_toplevel_set_app_id(w.toplevel, appId);
    xdg_toplevel_set_title(w.toplevel, title);
    wl_surface_commit(w.surface);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s APP_ID TITLE\n", argv[0]);
        return 2;
    }
    wl_display* display = wl_display_connect(nullptr);
    if (!display) {
        std::perror("wl_display_connect");
        return 1;
    }
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &kRegistry, nullptr);
    wl_display_roundtrip(display);
    if (!g.compositor || !g.shm || !g.wmBase) {
        std::fprintf(stderr, "the compositor lacks wl_compositor, wl_shm or xdg_wm_base\n");
        return 1;
    }
    xdg_wm_base_add_listener(g.wmBase, &kWmBase, nullptr);
    Window window;
    show(window, argv[1], argv[2]);
    while (wl_display_dispatch(display) >= 0) {
    }
    // The compositor is gone; the process ends with it, leaving its objects to the system.
    _exit(0);
}
