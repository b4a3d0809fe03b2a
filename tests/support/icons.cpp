#include "wintest.h"

#include "helpers.h"

namespace wintest {

const char* icon_name(Icon icon) {
    switch (icon) {
    case Icon::None:
        return "none";
    case Icon::Exclamation:
        return "exclamation";
    case Icon::Stop:
        return "stop";
    case Icon::Question:
        return "question";
    case Icon::Information:
        return "information";
    case Icon::Unknown:
        break;
    }
    return "unknown";
}

// ---- icon recognition by pixels ----

struct Pixels {
    int width = 0, height = 0;
    std::vector<DWORD> data; // 0x00RRGGBB, top-down
};

HBITMAP make_dib(HDC dc, int width, int height, void** bits) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    return CreateDIBSection(dc, &info, DIB_RGB_COLORS, bits, NULL, 0);
}

// Paints into a 32-bit bitmap of the screen's kind and returns its colours.
template <typename Paint> Pixels paint_pixels(int width, int height, Paint paint) {
    Pixels pixels;
    pixels.width = width;
    pixels.height = height;
    if (width <= 0 || height <= 0)
        return pixels;
    HDC screen = GetDC(NULL);
    HDC memory = CreateCompatibleDC(screen);
    void* bits = NULL;
    HBITMAP bitmap = make_dib(screen, width, height, &bits);
    HGDIOBJ old = SelectObject(memory, bitmap);
    DWORD* target = static_cast<DWORD*>(bits);
    paint(screen, memory, target);
    GdiFlush();
    pixels.data.assign(target, target + width * height);
    for (DWORD& pixel : pixels.data)
        pixel &= 0xFFFFFF;
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(NULL, screen);
    return pixels;
}

Pixels capture_screen(const RECT& rect) {
    int width = rect.right - rect.left;
    int height = rect.bottom - rect.top;
    return paint_pixels(width, height, [&](HDC screen, HDC memory, DWORD*) {
        BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    });
}

Pixels render_icon(LPCSTR id, int width, int height, DWORD background) {
    return paint_pixels(width, height, [&](HDC, HDC memory, DWORD* target) {
        std::fill(target, target + width * height, background);
        if (id != NULL)
            DrawIconEx(memory, 0, 0, LoadIconA(NULL, id), 0, 0, 0, NULL, DI_NORMAL);
    });
}

// Mean difference per colour channel, 0 for identical images.
double distance(const Pixels& a, const Pixels& b) {
    if (a.data.size() != b.data.size() || a.data.empty())
        return 1e9;
    double sum = 0;
    for (size_t i = 0; i < a.data.size(); i++)
        for (int shift = 0; shift < 24; shift += 8)
            sum += abs((int)((a.data[i] >> shift) & 0xFF) - (int)((b.data[i] >> shift) & 0xFF));
    return sum / (a.data.size() * 3.0);
}

// Above this mean difference a capture matches none of the system icons.
const double ICON_MATCH_LIMIT = 12.0;

Icon classify(const Pixels& shot) {
    struct Candidate {
        Icon icon;
        LPCSTR id;
    };
    static const Candidate candidates[] = {
        {Icon::None, NULL},
        {Icon::Stop, (LPCSTR)IDI_HAND},
        {Icon::Exclamation, (LPCSTR)IDI_EXCLAMATION},
        {Icon::Question, (LPCSTR)IDI_QUESTION},
        {Icon::Information, (LPCSTR)IDI_ASTERISK},
    };
    // The corner of an icon is transparent: it shows the box's background.
    DWORD background = shot.data.empty() ? 0 : shot.data[0];
    Icon best = Icon::Unknown;
    double best_distance = ICON_MATCH_LIMIT;
    for (const Candidate& candidate : candidates) {
        double d = distance(shot, render_icon(candidate.id, shot.width, shot.height, background));
        if (d < best_distance) {
            best_distance = d;
            best = candidate.icon;
        }
    }
    return best;
}

bool on_screen(const RECT& rect) {
    return rect.left >= 0 && rect.top >= 0 && rect.right <= GetSystemMetrics(SM_CXSCREEN) &&
           rect.bottom <= GetSystemMetrics(SM_CYSCREEN);
}

// Once the box shows an icon, the first capture of its icon control that matches one of
// the system icons; a box may not have painted yet when it is read.
Icon read_icon(HWND box) {
    HWND icon_control = NULL;
    for (HWND child : children_of(box))
        if (is_icon_static(child))
            icon_control = child;
    // Wine keeps the icon control of a box without icon, empty and under the text.
    if (icon_control == NULL || !IsWindowVisible(icon_control) ||
        SendMessageA(icon_control, STM_GETICON, 0, 0) == 0)
        return Icon::None;
    DWORD limit = time_limit_ms(ICON_PROBE_MS);
    DWORD start = GetTickCount();
    for (;;) {
        RECT rect;
        GetWindowRect(icon_control, &rect);
        // A box wider than the screen may hold its icon where no pixel shows it.
        if (!on_screen(rect))
            return Icon::Unknown;
        Icon icon = classify(capture_screen(rect));
        if ((icon != Icon::None && icon != Icon::Unknown) || GetTickCount() - start > limit)
            return icon;
        Sleep(POLL_MS);
    }
}

} // namespace wintest
