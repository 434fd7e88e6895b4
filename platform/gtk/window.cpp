// The window toolkit's native windows on GTK 3 (platform/window.h).
// Implements: the window class, CreateNativeWindow (a top-level is an undecorated GtkWindow
// holding a GtkLayout; its own surface and each child are GtkDrawingAreas in that layout),
// DefaultWindowProcedure, window objects, painting (kWmPaint from an idle source that runs
// before GTK's redraw; a draw only shows the last finished frame), visibility, placement,
// rectangles, the screen size, timers, capture, hover and leave tracking, the debug trace, and
// GTK's events as messages. Leaves out: mouse buttons other than the left one (but for the
// right one's release, a kWmContextMenu), keyboard focus
// of children (keys go to the top-level), children of children, and the drawing itself
// (draw.cpp).
#include "platform/window.h"

#include <gdk/gdkkeysyms.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/gtk/native_window.h"
#include "platform/resources.h"
#include "platform/system.h"

namespace platform {

namespace {

struct WindowClass {
    WindowProcedure procedure;
    GdkPixbuf* icon;  // null when the resource is missing or no image
};

std::map<std::string, WindowClass> classes;
// Live toolkit windows by serial, oldest first.
std::map<uint64_t, NativeWindow*> live;
uint64_t nextSerial = 1;
NativeWindow* captured = nullptr;
// The pointer's last known screen position.
int pointerX = 0;
int pointerY = 0;
bool pointerKnown = false;
// The left button as of the event being handled (a query of the server would answer for
// events still queued), and whether this press has started a move already.
bool leftDown = false;
bool pressMoved = false;
// Windows that asked for a hover or leave notice.
std::vector<uint64_t> tracked;
guint paintSource = 0;
guint trackingSource = 0;
// The last move message sent, so that each position is reported once; forgotten when a leave
// is reported, as the next move after a leave always reaches the window.
struct {
    uint64_t serial = 0;
    intptr_t point = -1;
    uintptr_t keys = 0;
} lastMove;

// Windows' hover rectangle: the pointer rests while it stays within 2 pixels of where it
// stopped.
constexpr int kHoverSlack = 2;
// Paints run before GTK draws the frame (GDK_PRIORITY_REDRAW is G_PRIORITY_HIGH_IDLE + 20), so
// a frame shows every window's newest picture.
constexpr int kPaintPriority = G_PRIORITY_HIGH_IDLE + 10;
// Windows that invalidate each other in their paints get this many rounds per idle, so input
// is still served.
constexpr int kPaintRounds = 8;

NativeWindow* Find(uint64_t serial) {
    auto found = live.find(serial);
    return found != live.end() ? found->second : nullptr;
}

gpointer SerialData(uint64_t serial) {
    return reinterpret_cast<gpointer>(static_cast<uintptr_t>(serial));
}

uint64_t DataSerial(gpointer data) {
    return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(data));
}

NativeWindow* TopLevelOf(NativeWindow* window) {
    return window->parent != nullptr ? window->parent : window;
}

// Screen position of the window's client area.
void ScreenOrigin(const NativeWindow* window, int* x, int* y) {
    if (window->parent != nullptr) {
        *x = window->parent->x + window->x;
        *y = window->parent->y + window->y;
    } else {
        *x = window->x;
        *y = window->y;
    }
}

intptr_t ClientPoint(const NativeWindow* window, int screenX, int screenY) {
    int x = 0;
    int y = 0;
    ScreenOrigin(window, &x, &y);
    return PackPoint(screenX - x, screenY - y);
}

bool Contains(const NativeWindow* window, int screenX, int screenY) {
    int x = 0;
    int y = 0;
    ScreenOrigin(window, &x, &y);
    return screenX >= x && screenX < x + window->width && screenY >= y &&
           screenY < y + window->height;
}

// The window the pointer is over: the topmost shown child there, else the top-level.
NativeWindow* WindowAt(int screenX, int screenY) {
    for (const auto& [serial, window] : live) {
        if (window->parent != nullptr || !gtk_widget_get_visible(window->widget) ||
            !Contains(window, screenX, screenY)) {
            continue;
        }
        for (auto child = window->children.rbegin(); child != window->children.rend(); ++child) {
            if (gtk_widget_get_visible((*child)->widget) && Contains(*child, screenX, screenY)) {
                return *child;
            }
        }
        return window;
    }
    return nullptr;
}

NativeWindow* WindowUnderPointer() {
    return pointerKnown ? WindowAt(pointerX, pointerY) : nullptr;
}

// Asks the pointer device where it is, for requests that come between events.
void RefreshPointer() {
    GdkDisplay* display = gdk_display_get_default();
    GdkSeat* seat = display != nullptr ? gdk_display_get_default_seat(display) : nullptr;
    GdkDevice* device = seat != nullptr ? gdk_seat_get_pointer(seat) : nullptr;
    if (device != nullptr) {
        gdk_device_get_position(device, nullptr, &pointerX, &pointerY);
        pointerKnown = true;
    }
}

void CancelHover(NativeWindow* window) {
    if (window->hoverSource != 0) {
        g_source_remove(window->hoverSource);
        window->hoverSource = 0;
    }
}

void Untrack(NativeWindow* window) {
    CancelHover(window);
    window->hoverRequested = false;
    window->leaveRequested = false;
    tracked.erase(std::remove(tracked.begin(), tracked.end(), window->serial), tracked.end());
}

gboolean OnHoverTime(gpointer data) {
    NativeWindow* window = Find(DataSerial(data));
    if (window == nullptr) {
        return G_SOURCE_REMOVE;
    }
    window->hoverSource = 0;
    if (window->hoverRequested && WindowUnderPointer() == window) {
        window->hoverRequested = false;
        if (!window->leaveRequested) {
            Untrack(window);
        }
        uintptr_t keys = leftDown ? kMkLButton : 0;
        gtk::Deliver(window, kWmMouseHover, keys, ClientPoint(window, pointerX, pointerY));
    }
    return G_SOURCE_REMOVE;
}

void ArmHover(NativeWindow* window) {
    CancelHover(window);
    window->hoverAnchorX = pointerX;
    window->hoverAnchorY = pointerY;
    window->hoverSource = g_timeout_add(window->hoverMs, OnHoverTime, SerialData(window->serial));
}

// Brings every tracked window's notices up to date with where the pointer is: a window it left
// gets its leave notice (later, while the mouse is captured); a window it rests in has its
// hover clock running, restarted when the pointer moves beyond the hover rectangle.
void UpdateTracking() {
    NativeWindow* under = WindowUnderPointer();
    std::vector<uint64_t> leaving;
    for (uint64_t serial : std::vector<uint64_t>(tracked)) {
        NativeWindow* window = Find(serial);
        if (window == nullptr) {
            continue;
        }
        if (window != under) {
            CancelHover(window);
            if (window->leaveRequested && captured == nullptr) {
                leaving.push_back(serial);
            }
        } else if (window->hoverRequested &&
                   (window->hoverSource == 0 ||
                    std::abs(pointerX - window->hoverAnchorX) > kHoverSlack ||
                    std::abs(pointerY - window->hoverAnchorY) > kHoverSlack)) {
            ArmHover(window);
        }
    }
    for (uint64_t serial : leaving) {
        NativeWindow* window = Find(serial);
        if (window != nullptr && window->leaveRequested) {
            Untrack(window);
            lastMove = {};
            gtk::Deliver(window, kWmMouseLeave, 0, 0);
        }
    }
}

gboolean OnTrackingCheck(gpointer) {
    trackingSource = 0;
    RefreshPointer();
    UpdateTracking();
    return G_SOURCE_REMOVE;
}

// The check after a request or the end of a capture comes as a posted message would: after
// the current message.
void ScheduleTrackingCheck() {
    if (trackingSource == 0) {
        trackingSource = g_idle_add_full(G_PRIORITY_DEFAULT, OnTrackingCheck, nullptr, nullptr);
    }
}

gboolean RunPaints(gpointer);

void SchedulePaint() {
    if (paintSource == 0) {
        paintSource = g_idle_add_full(kPaintPriority, RunPaints, nullptr, nullptr);
    }
}

gboolean RunPaints(gpointer) {
    paintSource = 0;
    for (int round = 0; round < kPaintRounds; ++round) {
        // Each top-level first, then its children from the bottom, as a parent paints before
        // the children it invalidates.
        std::vector<uint64_t> due;
        for (const auto& [serial, window] : live) {
            if (window->parent != nullptr) {
                continue;
            }
            if (window->needsPaint && gtk_widget_is_drawable(window->area)) {
                due.push_back(serial);
            }
            for (NativeWindow* child : window->children) {
                if (child->needsPaint && gtk_widget_is_drawable(child->area)) {
                    due.push_back(child->serial);
                }
            }
        }
        if (due.empty()) {
            return G_SOURCE_REMOVE;
        }
        for (uint64_t serial : due) {
            NativeWindow* window = Find(serial);
            if (window != nullptr && window->needsPaint) {
                window->needsPaint = false;
                gtk::Deliver(window, kWmPaint, 0, 0);
            }
        }
    }
    SchedulePaint();  // what is still due waits for the next idle
    return G_SOURCE_REMOVE;
}

// The screen position of the top-level from an event on one of its areas (exact even while a
// window manager moves it).
void NoteEvent(NativeWindow* window, double x, double y, double rootX, double rootY) {
    pointerX = static_cast<int>(std::floor(rootX));
    pointerY = static_cast<int>(std::floor(rootY));
    pointerKnown = true;
    NativeWindow* top = TopLevelOf(window);
    int offsetX = window->parent != nullptr ? window->x : 0;
    int offsetY = window->parent != nullptr ? window->y : 0;
    top->x = static_cast<int>(std::lround(rootX - x)) - offsetX;
    top->y = static_cast<int>(std::lround(rootY - y)) - offsetY;
}

gboolean OnDraw(GtkWidget*, cairo_t* cr, gpointer data) {
    auto* window = static_cast<NativeWindow*>(data);
    if (window->frame != nullptr) {
        cairo_set_source_surface(cr, window->frame, 0, 0);
        cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
        cairo_paint(cr);
    }
    return TRUE;
}

void OnMap(GtkWidget*, gpointer data) {
    if (static_cast<NativeWindow*>(data)->needsPaint) {
        SchedulePaint();
    }
}

// The pointer moved over `window` (or entered it, which GDK reports without a motion of its
// own): a move message as Windows sends it, once per position.
void PointerMoved(NativeWindow* window, guint state) {
    uint64_t serial = window->serial;
    leftDown = (state & GDK_BUTTON1_MASK) != 0;
    uintptr_t keys = leftDown ? kMkLButton : 0;
    NativeWindow* target = captured;
    if (target == nullptr) {
        // As on Windows: the window is asked what the point is, and only its client area gets
        // the move.
        intptr_t hit = gtk::Deliver(window, kWmNcHitTest, 0, PackPoint(pointerX, pointerY));
        if (Find(serial) == nullptr || hit != kHtClient) {
            UpdateTracking();
            return;
        }
        target = window;
    }
    intptr_t point = PackPoint(pointerX, pointerY);
    if (target->serial != lastMove.serial || point != lastMove.point || keys != lastMove.keys) {
        lastMove = {target->serial, point, keys};
        gtk::Deliver(target, kWmMouseMove, keys, ClientPoint(target, pointerX, pointerY));
    }
    UpdateTracking();
}

gboolean OnMotion(GtkWidget*, GdkEventMotion* event, gpointer data) {
    auto* window = static_cast<NativeWindow*>(data);
    NoteEvent(window, event->x, event->y, event->x_root, event->y_root);
    PointerMoved(window, event->state);
    return TRUE;
}

gboolean OnButtonPress(GtkWidget*, GdkEventButton* event, gpointer data) {
    if (event->type != GDK_BUTTON_PRESS || event->button != GDK_BUTTON_PRIMARY) {
        return TRUE;
    }
    auto* window = static_cast<NativeWindow*>(data);
    uint64_t serial = window->serial;
    NoteEvent(window, event->x, event->y, event->x_root, event->y_root);
    leftDown = true;
    pressMoved = false;
    if (captured != nullptr) {
        gtk::Deliver(captured, kWmLButtonDown, kMkLButton,
                     ClientPoint(captured, pointerX, pointerY));
    } else {
        intptr_t screenPoint = PackPoint(pointerX, pointerY);
        intptr_t hit = gtk::Deliver(window, kWmNcHitTest, 0, screenPoint);
        if (Find(serial) != nullptr) {
            if (hit == kHtCaption) {
                gtk::Deliver(window, kWmNcLButtonDown, static_cast<uintptr_t>(kHtCaption),
                             screenPoint);
            } else if (hit == kHtClient) {
                gtk::Deliver(window, kWmLButtonDown, kMkLButton,
                             ClientPoint(window, pointerX, pointerY));
            }
        }
    }
    UpdateTracking();
    return TRUE;
}

gboolean OnButtonRelease(GtkWidget*, GdkEventButton* event, gpointer data) {
    auto* window = static_cast<NativeWindow*>(data);
    if (event->button == GDK_BUTTON_SECONDARY && captured == nullptr) {
        NoteEvent(window, event->x, event->y, event->x_root, event->y_root);
        gtk::Deliver(window, kWmContextMenu, 0, PackPoint(pointerX, pointerY));
        return TRUE;
    }
    if (event->button != GDK_BUTTON_PRIMARY) {
        return TRUE;
    }
    NoteEvent(window, event->x, event->y, event->x_root, event->y_root);
    leftDown = false;
    // The press kept the pointer: the release comes to the pressed window wherever it is.
    NativeWindow* target = captured != nullptr ? captured : window;
    gtk::Deliver(target, kWmLButtonUp, 0, ClientPoint(target, pointerX, pointerY));
    UpdateTracking();
    return TRUE;
}

gboolean OnCrossing(GtkWidget*, GdkEventCrossing* event, gpointer data) {
    auto* window = static_cast<NativeWindow*>(data);
    NoteEvent(window, event->x, event->y, event->x_root, event->y_root);
    if (event->type == GDK_ENTER_NOTIFY && event->mode == GDK_CROSSING_NORMAL) {
        PointerMoved(window, event->state);
    } else {
        UpdateTracking();
    }
    return TRUE;
}

gboolean OnDelete(GtkWidget*, GdkEvent*, gpointer data) {
    gtk::Deliver(static_cast<NativeWindow*>(data), kWmClose, 0, 0);
    return TRUE;  // the procedure decides whether the window goes
}

// The Windows virtual key of a GDK key; 0 for keys the toolkit has no use for.
uintptr_t VirtualKey(guint keyval) {
    if (keyval >= GDK_KEY_a && keyval <= GDK_KEY_z) {
        return 'A' + (keyval - GDK_KEY_a);
    }
    if (keyval >= GDK_KEY_A && keyval <= GDK_KEY_Z) {
        return 'A' + (keyval - GDK_KEY_A);
    }
    if (keyval >= GDK_KEY_0 && keyval <= GDK_KEY_9) {
        return '0' + (keyval - GDK_KEY_0);
    }
    if (keyval >= GDK_KEY_F1 && keyval <= GDK_KEY_F12) {
        return 0x70 + (keyval - GDK_KEY_F1);
    }
    switch (keyval) {
        case GDK_KEY_Escape:
            return kVkEscape;
        case GDK_KEY_Return:
        case GDK_KEY_KP_Enter:
            return 0x0D;
        case GDK_KEY_Tab:
            return 0x09;
        case GDK_KEY_BackSpace:
            return 0x08;
        case GDK_KEY_space:
            return 0x20;
        case GDK_KEY_Left:
            return 0x25;
        case GDK_KEY_Up:
            return 0x26;
        case GDK_KEY_Right:
            return 0x27;
        case GDK_KEY_Down:
            return 0x28;
        case GDK_KEY_Delete:
            return 0x2E;
        default:
            return 0;
    }
}

gboolean OnKeyPress(GtkWidget*, GdkEventKey* event, gpointer data) {
    if (event->keyval == GDK_KEY_Menu ||
        (event->keyval == GDK_KEY_F10 && (event->state & GDK_SHIFT_MASK) != 0)) {
        gtk::Deliver(static_cast<NativeWindow*>(data), kWmContextMenu, 0, kKeyboardPoint);
        return TRUE;
    }
    uintptr_t key = VirtualKey(event->keyval);
    if (key == 0) {
        return FALSE;
    }
    gtk::Deliver(static_cast<NativeWindow*>(data), kWmKeyDown, key, 1);  // repeat count 1
    return TRUE;
}

gboolean OnConfigure(GtkWidget*, GdkEventConfigure* event, gpointer data) {
    auto* window = static_cast<NativeWindow*>(data);
    window->x = event->x;
    window->y = event->y;
    return FALSE;
}

gboolean OnTimer(gpointer data) {
    auto* timer = static_cast<std::pair<uint64_t, uintptr_t>*>(data);
    NativeWindow* window = Find(timer->first);
    if (window == nullptr) {
        return G_SOURCE_REMOVE;
    }
    gtk::Deliver(window, kWmTimer, timer->second, 0);
    return G_SOURCE_CONTINUE;
}

void DeleteTimer(gpointer data) {
    delete static_cast<std::pair<uint64_t, uintptr_t>*>(data);
}

GtkWidget* NewArea(NativeWindow* window) {
    GtkWidget* area = gtk_drawing_area_new();
    gtk_widget_set_size_request(area, window->width, window->height);
    gtk_widget_add_events(area, GDK_POINTER_MOTION_MASK | GDK_BUTTON_PRESS_MASK |
                                    GDK_BUTTON_RELEASE_MASK | GDK_ENTER_NOTIFY_MASK |
                                    GDK_LEAVE_NOTIFY_MASK);
    g_signal_connect(area, "draw", G_CALLBACK(OnDraw), window);
    g_signal_connect(area, "map", G_CALLBACK(OnMap), window);
    g_signal_connect(area, "motion-notify-event", G_CALLBACK(OnMotion), window);
    g_signal_connect(area, "button-press-event", G_CALLBACK(OnButtonPress), window);
    g_signal_connect(area, "button-release-event", G_CALLBACK(OnButtonRelease), window);
    g_signal_connect(area, "enter-notify-event", G_CALLBACK(OnCrossing), window);
    g_signal_connect(area, "leave-notify-event", G_CALLBACK(OnCrossing), window);
    return area;
}

// What goes with a window's handle, once its messages are done.
void Release(NativeWindow* window) {
    for (const auto& [id, source] : window->timers) {
        g_source_remove(source);
    }
    window->timers.clear();
    Untrack(window);
    if (captured == window) {
        captured = nullptr;
    }
    gtk::DetachTargets(window);
    if (window->frame != nullptr) {
        cairo_surface_destroy(window->frame);
        window->frame = nullptr;
    }
    live.erase(window->serial);
}

void DestroyFamily(NativeWindow* window) {
    window->destroying = true;
    gtk::Deliver(window, kWmDestroy, 0, 0);
    for (NativeWindow* child : std::vector<NativeWindow*>(window->children)) {
        if (!child->destroying) {
            DestroyFamily(child);
        }
    }
    gtk::Deliver(window, kWmNcDestroy, 0, 0);
    Release(window);
}

void DeleteFamily(NativeWindow* window) {
    for (NativeWindow* child : window->children) {
        delete child;
    }
    delete window;
}

}  // namespace

namespace gtk {

intptr_t Deliver(NativeWindow* window, unsigned message, uintptr_t wParam, intptr_t lParam) {
    return window->procedure(window, message, wParam, lParam);
}

void InvalidateToolkitWindow(NativeWindow* window) {
    if (!IsUiThread()) {
        // A worker (the download manager changing a button's state) asks; the UI thread
        // repaints, if the window is still there by then.
        g_idle_add_full(
            G_PRIORITY_DEFAULT,
            [](gpointer data) -> gboolean {
                if (NativeWindow* alive = Find(DataSerial(data))) {
                    InvalidateToolkitWindow(alive);
                }
                return G_SOURCE_REMOVE;
            },
            SerialData(window->serial), nullptr);
        return;
    }
    window->needsPaint = true;
    SchedulePaint();
}

void PresentFrame(NativeWindow* window, cairo_surface_t* surface) {
    if (window->frame != surface) {
        if (window->frame != nullptr) {
            cairo_surface_destroy(window->frame);
        }
        window->frame = cairo_surface_reference(surface);
    }
    gtk_widget_queue_draw(window->area);
}

void DestroyToolkitWindow(NativeWindow* window) {
    if (window->destroying) {
        return;
    }
    DestroyFamily(window);
    if (window->parent != nullptr) {
        auto& siblings = window->parent->children;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), window), siblings.end());
    }
    gtk_widget_destroy(window->widget);
    DeleteFamily(window);
}

void MoveToolkitWindow(NativeWindow* window, int x, int y, int width, int height) {
    bool resized = width != window->width || height != window->height;
    window->x = x;
    window->y = y;
    window->width = width;
    window->height = height;
    gtk_widget_set_size_request(window->area, width, height);
    if (window->parent != nullptr) {
        gtk_layout_move(GTK_LAYOUT(window->parent->layout), window->area, x, y);
    } else {
        gtk_widget_set_size_request(window->layout, width, height);
        gtk_window_move(GTK_WINDOW(window->widget), x, y);
        gtk_window_resize(GTK_WINDOW(window->widget), width, height);
    }
    if (resized) {
        // The class redraws on every resize, as CS_HREDRAW | CS_VREDRAW do.
        InvalidateToolkitWindow(window);
        Deliver(window, kWmSize, 0, PackPoint(width, height));
    }
}

}  // namespace gtk

void OpenGraphics() {
    // Cairo, Pango and GdkPixbuf need no process-wide set-up beyond gtk::Init.
}

void CloseGraphics() {}

bool RegisterWindowClass(const char* className, WindowProcedure procedure, int iconResourceId) {
    if (classes.count(className) != 0) {
        return false;
    }
    GdkPixbuf* icon = nullptr;
    if (std::optional<std::string> bytes = LoadBuiltInResource(iconResourceId)) {
        icon = gtk::DecodeImage(bytes->data(), bytes->size());
    }
    classes[className] = {procedure, icon};
    return true;
}

void UnregisterWindowClass(const char* className) {
    auto found = classes.find(className);
    if (found != classes.end()) {
        if (found->second.icon != nullptr) {
            g_object_unref(found->second.icon);
        }
        classes.erase(found);
    }
}

WindowHandle CreateNativeWindow(const char* className, const char* windowName, uint32_t style,
                                int x, int y, int width, int height, WindowHandle parent,
                                void* param) {
    auto found = classes.find(className);
    if (found == classes.end() || gdk_display_get_default() == nullptr) {
        return nullptr;
    }
    bool child = (style & kWsChild) != 0;
    if (child && (parent == nullptr || parent->parent != nullptr || parent->destroying)) {
        return nullptr;
    }
    auto* window = new NativeWindow;
    window->procedure = found->second.procedure;
    window->serial = nextSerial++;
    window->x = x;
    window->y = y;
    window->width = std::max(width, 0);
    window->height = std::max(height, 0);
    window->area = NewArea(window);
    if (child) {
        window->parent = parent;
        window->widget = window->area;
        gtk_layout_put(GTK_LAYOUT(parent->layout), window->area, x, y);
        parent->children.push_back(window);
    } else {
        window->widget = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        GtkWindow* gtkWindow = GTK_WINDOW(window->widget);
        gtk_window_set_decorated(gtkWindow, FALSE);
        gtk_window_set_title(gtkWindow,
                             CodePageToUtf8(windowName, std::strlen(windowName)).c_str());
        if (found->second.icon != nullptr) {
            gtk_window_set_icon(gtkWindow, found->second.icon);
        }
        gtk_window_move(gtkWindow, x, y);
        gtk_window_set_default_size(gtkWindow, window->width, window->height);
        window->layout = gtk_layout_new(nullptr, nullptr);
        gtk_widget_set_size_request(window->layout, window->width, window->height);
        gtk_container_add(GTK_CONTAINER(window->widget), window->layout);
        gtk_layout_put(GTK_LAYOUT(window->layout), window->area, 0, 0);
        gtk_widget_show(window->layout);
        gtk_widget_show(window->area);
        g_signal_connect(window->widget, "delete-event", G_CALLBACK(OnDelete), window);
        g_signal_connect(window->widget, "key-press-event", G_CALLBACK(OnKeyPress), window);
        g_signal_connect(window->widget, "configure-event", G_CALLBACK(OnConfigure), window);
    }
    live[window->serial] = window;
    uint64_t serial = window->serial;

    CreateParameters parameters{param};
    intptr_t lParam = reinterpret_cast<intptr_t>(&parameters);
    bool refused = gtk::Deliver(window, kWmNcCreate, 0, lParam) == 0;
    if (!refused && Find(serial) != nullptr) {
        refused = gtk::Deliver(window, kWmCreate, 0, lParam) == -1;
    }
    if (Find(serial) == nullptr) {
        return nullptr;  // the procedure destroyed it
    }
    if (refused) {
        gtk::DestroyToolkitWindow(window);
        return nullptr;
    }
    return window;
}

intptr_t DefaultWindowProcedure(WindowHandle window, unsigned message, uintptr_t wParam,
                                intptr_t lParam) {
    switch (message) {
        case kWmNcCreate:
            return 1;
        case kWmNcHitTest:
            return kHtClient;
        case kWmEraseBkgnd:
            gtk::EraseFrame(window);
            return 1;
        case kWmNcLButtonDown:
            if (wParam == static_cast<uintptr_t>(kHtCaption) && leftDown && !pressMoved) {
                pressMoved = true;
                NativeWindow* top = TopLevelOf(window);
                gtk_window_begin_move_drag(GTK_WINDOW(top->widget), GDK_BUTTON_PRIMARY,
                                           PointX(lParam), PointY(lParam),
                                           gtk_get_current_event_time());
            }
            return 0;
        case kWmClose:
            DestroyNativeWindow(window);
            return 0;
        case kWmContextMenu:
            if (window->parent != nullptr) {
                return gtk::Deliver(window->parent, message, wParam, lParam);
            }
            return 0;
        default:
            return 0;
    }
}

void SetWindowObject(WindowHandle window, void* object) {
    window->object = object;
}

void* WindowObject(WindowHandle window) {
    return window->object;
}

void BeginWindowPaint(WindowHandle window) {
    window->needsPaint = false;
}

void EndWindowPaint(WindowHandle) {}

void SetWindowVisible(WindowHandle window, bool visible) {
    gtk_widget_set_visible(window->widget, visible);
}

void PlaceWindow(WindowHandle window, int x, int y, int width, int height) {
    gtk::MoveToolkitWindow(window, x, y, width, height);
    if (window->parent != nullptr) {
        auto& siblings = window->parent->children;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), window), siblings.end());
        siblings.push_back(window);
        if (GdkWindow* own = gtk_widget_get_window(window->area)) {
            gdk_window_raise(own);
        }
    }
    SetWindowVisible(window, true);
}

Rect ClientRect(WindowHandle window) {
    return {0, 0, window->width, window->height};
}

Rect WindowRect(WindowHandle window) {
    int x = 0;
    int y = 0;
    ScreenOrigin(window, &x, &y);
    return {x, y, x + window->width, y + window->height};
}

Size ScreenSize() {
    GdkDisplay* display = gdk_display_get_default();
    if (display == nullptr) {
        return {0, 0};
    }
    GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
    if (monitor == nullptr) {
        monitor = gdk_display_get_monitor(display, 0);
    }
    if (monitor == nullptr) {
        return {0, 0};
    }
    GdkRectangle area;
    gdk_monitor_get_geometry(monitor, &area);
    return {area.width, area.height};
}

void StartTimer(WindowHandle window, uintptr_t id, unsigned ms) {
    StopTimer(window, id);
    // Windows' shortest timer.
    constexpr unsigned kMinimumMs = 10;
    auto* timer = new std::pair<uint64_t, uintptr_t>(window->serial, id);
    window->timers[id] = g_timeout_add_full(G_PRIORITY_DEFAULT, std::max(ms, kMinimumMs), OnTimer,
                                            timer, DeleteTimer);
}

void StopTimer(WindowHandle window, uintptr_t id) {
    auto found = window->timers.find(id);
    if (found != window->timers.end()) {
        g_source_remove(found->second);
        window->timers.erase(found);
    }
}

void CaptureMouse(WindowHandle window) {
    captured = window;
}

void ReleaseMouse() {
    captured = nullptr;
    ScheduleTrackingCheck();
}

void TrackMouse(WindowHandle window, unsigned hoverMs) {
    window->hoverRequested = true;
    window->leaveRequested = true;
    window->hoverMs = hoverMs;
    if (std::find(tracked.begin(), tracked.end(), window->serial) == tracked.end()) {
        tracked.push_back(window->serial);
    }
    RefreshPointer();
    if (WindowUnderPointer() == window) {
        ArmHover(window);
    } else {
        ScheduleTrackingCheck();  // the leave notice follows at once, or when a capture ends
    }
}

void DebugTrace(const char* line) {
    size_t length = std::strlen(line);
    if (length > 0 && line[length - 1] == '\n') {
        --length;  // GLib ends each message itself
    }
    g_log("downloader", G_LOG_LEVEL_DEBUG, "%.*s", static_cast<int>(length), line);
}

}  // namespace platform
