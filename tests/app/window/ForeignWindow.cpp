// Another application's window for the window tests: a plain X11 client with
// the WM_CLASS and title given on the command line. Prints its window id
// once mapped, then lives until it is killed or the server goes away. Given
// a width, it is instead a dock panel along the screen's left edge that
// reserves that many pixels; given "top:<height>", one along the top edge;
// given "full", a window that asks to be full screen from the start.
//
//   foreign_window <class> <title> [left-panel-width | top:<height> | full]
#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

xcb_atom_t atom(xcb_connection_t* c, const char* name)
{
    xcb_intern_atom_reply_t* reply =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t value = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return value;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: foreign_window <class> <title> [left-panel-width | top:<height> | full]\n");
        return 2;
    }
    int screenNumber = 0;
    xcb_connection_t* c = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(c))
        return 1;
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screenNumber; ++i)
        xcb_screen_next(&it);
    xcb_screen_t* screen = it.data;
    const bool top = argc == 4 && std::strncmp(argv[3], "top:", 4) == 0;
    const bool full = argc == 4 && std::strcmp(argv[3], "full") == 0;
    const uint32_t panelSize = argc == 4 && !full ? uint32_t(std::strtoul(argv[3] + (top ? 4 : 0), nullptr, 10)) : 0;

    const xcb_window_t window = xcb_generate_id(c);
    const uint32_t values[] = {screen->white_pixel};
    if (panelSize > 0) {
        const uint16_t width = top ? screen->width_in_pixels : uint16_t(panelSize);
        const uint16_t height = top ? uint16_t(panelSize) : screen->height_in_pixels;
        xcb_create_window(c, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, width, height, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_BACK_PIXEL, values);
        const xcb_atom_t type = atom(c, "_NET_WM_WINDOW_TYPE");
        const xcb_atom_t dock = atom(c, "_NET_WM_WINDOW_TYPE_DOCK");
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, type, XCB_ATOM_ATOM, 32, 1, &dock);
        const uint32_t strut[12] = {top ? 0 : panelSize, 0, top ? panelSize : 0, 0,
                                    0, top ? 0 : uint32_t(screen->height_in_pixels - 1), 0, 0,
                                    0, top ? uint32_t(screen->width_in_pixels - 1) : 0, 0, 0};
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, atom(c, "_NET_WM_STRUT_PARTIAL"), XCB_ATOM_CARDINAL,
                            32, 12, strut);
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, atom(c, "_NET_WM_STRUT"), XCB_ATOM_CARDINAL, 32, 4,
                            strut);
    } else {
        xcb_create_window(c, XCB_COPY_FROM_PARENT, window, screen->root, 200, 200, 400, 300, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_BACK_PIXEL, values);
        // Takes the keyboard when given it, as a video player does.
        const uint32_t hints[9] = {1, 1, 0, 0, 0, 0, 0, 0, 0};  // flags: input; input: true
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_HINTS, XCB_ATOM_WM_HINTS, 32, 9, hints);
        if (full) {
            const xcb_atom_t fullScreen = atom(c, "_NET_WM_STATE_FULLSCREEN");
            xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, atom(c, "_NET_WM_STATE"), XCB_ATOM_ATOM, 32, 1,
                                &fullScreen);
        }
    }
    std::string wmClass = std::string("foreign") + '\0' + argv[1] + '\0';
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8,
                        uint32_t(wmClass.size()), wmClass.data());
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
                        uint32_t(std::strlen(argv[2])), argv[2]);
    xcb_map_window(c, window);
    xcb_flush(c);
    std::printf("%u\n", window);
    std::fflush(stdout);
    while (xcb_generic_event_t* event = xcb_wait_for_event(c))
        std::free(event);
    xcb_disconnect(c);
    return 0;
}
