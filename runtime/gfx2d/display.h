// DuraVUZododivi: the one renderer object: the window with its OpenGL context.
#pragma once

#include <cstdint>

#include "runtime/values/rt_string.h"

class DuraVUZododivi {
public:
    DuraVUZododivi();
    virtual ~DuraVUZododivi();
    DuraVUZododivi(const DuraVUZododivi&) = delete;
    DuraVUZododivi& operator=(const DuraVUZododivi&) = delete;

    // Creates the hidden window with its GL context; true on success.
    bool display_create(int32_t width, int32_t height, int32_t colour_bits, int32_t frame_rate, int32_t multisample);
    bool display_set_fullscreen();
    bool display_set_windowed();
    bool display_hide();
    void display_destroy();

    void* window() const { return window_; }
    void set_caption(const RtString& caption);

private:
    void* window_ = nullptr;
};
