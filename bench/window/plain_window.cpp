// The peer of the window benchmark: the same window made directly with GTK widgets, without the
// toolkit: the background, five button pictures and a progress bar with its two texts, each a
// GtkDrawingArea that paints in its "draw" handler.
//
//   plain-window SKIN_FOLDER [--tick MS]
//
// The layout is the shipped document's (background 640 x 380 centred as the program centres
// it, buttons at y 334, the bar at 30, 306, 586 x 18).
#include <gtk/gtk.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

struct Bar {
    GtkWidget* area = nullptr;
    int progress = 0;
    float speed = 0;
};

gboolean DrawPicture(GtkWidget*, cairo_t* cr, gpointer data) {
    gdk_cairo_set_source_pixbuf(cr, static_cast<GdkPixbuf*>(data), 0, 0);
    cairo_paint(cr);
    return TRUE;
}

void Text(cairo_t* cr, PangoLayout* layout, const char* text, double left, double width,
          PangoAlignment alignment) {
    pango_layout_set_text(layout, text, -1);
    pango_layout_set_width(layout, static_cast<int>(width * PANGO_SCALE));
    pango_layout_set_alignment(layout, alignment);
    cairo_move_to(cr, left, 1);
    pango_cairo_show_layout(cr, layout);
}

gboolean DrawBar(GtkWidget*, cairo_t* cr, gpointer data) {
    auto* bar = static_cast<Bar*>(data);
    constexpr int kWidth = 586;
    constexpr int kHeight = 18;
    cairo_set_source_rgb(cr, 0x33 / 255.0, 0x33 / 255.0, 0x33 / 255.0);
    cairo_paint(cr);
    cairo_set_source_rgb(cr, 0x33 / 255.0, 0xDD / 255.0, 0xFF / 255.0);
    cairo_rectangle(cr, 1, 1, bar->progress * (kWidth - 2) / 10000, kHeight - 2);
    cairo_fill(cr);
    PangoLayout* layout = pango_cairo_create_layout(cr);
    PangoFontDescription* font = pango_font_description_from_string("Sans");
    pango_font_description_set_absolute_size(font, 12 * PANGO_SCALE);
    pango_layout_set_font_description(layout, font);
    cairo_set_source_rgba(cr, 1, 1, 1, 0.79);
    char text[32];
    std::snprintf(text, sizeof text, "%.02f%%", bar->progress / 100.0f);
    Text(cr, layout, text, kWidth * 0.5 - 30, 60, PANGO_ALIGN_LEFT);
    std::snprintf(text, sizeof text, "%.03f MiB/Sec", bar->speed);
    Text(cr, layout, text, kWidth - 100, 95, PANGO_ALIGN_RIGHT);
    pango_font_description_free(font);
    g_object_unref(layout);
    return TRUE;
}

gboolean Tick(gpointer data) {
    auto* bar = static_cast<Bar*>(data);
    bar->progress = (bar->progress + 1) % 10001;
    bar->speed = static_cast<float>(bar->progress % 100) / 8.0f;
    gtk_widget_queue_draw(bar->area);
    return G_SOURCE_CONTINUE;
}

GtkWidget* Picture(GtkWidget* fixed, const std::string& path, int x, int y) {
    GdkPixbuf* pixbuf = gdk_pixbuf_new_from_file(path.c_str(), nullptr);
    if (pixbuf == nullptr) {
        std::fprintf(stderr, "cannot read %s\n", path.c_str());
        std::exit(1);
    }
    GtkWidget* area = gtk_drawing_area_new();
    gtk_widget_set_size_request(area, gdk_pixbuf_get_width(pixbuf), gdk_pixbuf_get_height(pixbuf));
    g_signal_connect(area, "draw", G_CALLBACK(DrawPicture), pixbuf);
    gtk_fixed_put(GTK_FIXED(fixed), area, x, y);
    return area;
}

}  // namespace

int main(int argc, char** argv) {
    gtk_init(&argc, &argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: plain-window SKIN_FOLDER [--tick MS]\n");
        return 2;
    }
    std::string skin = argv[1];
    unsigned tick = argc >= 4 && std::string(argv[2]) == "--tick" ? std::atoi(argv[3]) : 0;

    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_decorated(GTK_WINDOW(window), FALSE);
    gtk_window_set_title(GTK_WINDOW(window), "plain window");
    GdkRectangle screen;
    gdk_monitor_get_geometry(gdk_display_get_monitor(gdk_display_get_default(), 0), &screen);
    int h = (screen.height - 380) / 2;
    gtk_window_move(GTK_WINDOW(window), (screen.width - 640) / 2, h + h / 10);
    GtkWidget* fixed = gtk_fixed_new();
    gtk_container_add(GTK_CONTAINER(window), fixed);
    Picture(fixed, skin + "/102.jpg", 0, 0);
    const struct {
        int id;
        int x;
    } buttons[] = {{138, 30}, {142, 312}, {146, 390}, {150, 468}, {134, 546}};
    for (const auto& button : buttons) {
        Picture(fixed,
                skin + "/" + std::to_string(button.id) + (button.id == 134 ? ".jpg" : ".bmp"),
                button.x, 334);
    }
    Bar bar;
    bar.area = gtk_drawing_area_new();
    gtk_widget_set_size_request(bar.area, 586, 18);
    g_signal_connect(bar.area, "draw", G_CALLBACK(DrawBar), &bar);
    gtk_fixed_put(GTK_FIXED(fixed), bar.area, 30, 306);
    g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
    gtk_widget_show_all(window);
    if (tick > 0) {
        g_timeout_add(tick, Tick, &bar);
    }
    gtk_main();
    return 0;
}
