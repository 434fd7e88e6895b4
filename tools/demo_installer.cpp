// The installer of the demo package (scripts/run serves it as "setup.exe"): installs nothing,
// only shows that the downloader started it. It writes the marker "demo-installer-ran.txt"
// next to itself (time, its folder, the working folder, user rights, arguments) and, when a
// display can be opened, shows the same in a small window. pkexec removes DISPLAY from the
// environment, so after an elevated start the marker is the one reliable sign.
#include <gtk/gtk.h>
#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <string>

namespace {

constexpr const char* kMarkerName = "demo-installer-ran.txt";

std::string OwnPath(const char* argv0) {
    char buffer[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    return length > 0 ? std::string(buffer, static_cast<size_t>(length)) : std::string(argv0);
}

std::string FolderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
}

std::string WorkingFolder() {
    char buffer[PATH_MAX];
    return getcwd(buffer, sizeof buffer) != nullptr ? buffer : "(unknown)";
}

std::string Account(uid_t uid) {
    const passwd* entry = getpwuid(uid);
    std::string text = "uid " + std::to_string(uid);
    if (entry != nullptr) {
        text += std::string(" (") + entry->pw_name + ")";
    }
    return text;
}

// Who the installer runs as, and whether that is the administrator.
std::string Rights() {
    std::string text = Account(getuid());
    if (geteuid() != getuid()) {
        text += ", effective " + Account(geteuid());
    }
    return text + (geteuid() == 0 ? ", administrator rights" : ", ordinary user rights");
}

std::string Now() {
    std::time_t now = std::time(nullptr);
    char text[64];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S %z", std::localtime(&now));
    return text;
}

std::string Arguments(int argc, char** argv) {
    if (argc <= 1) {
        return "none";
    }
    std::string text;
    for (int i = 1; i < argc; ++i) {
        text += std::string(i > 1 ? " " : "") + "\"" + argv[i] + "\"";
    }
    return text;
}

// One "key: value" line each, read by scripts/run and by people.
std::string Report(const std::string& folder, int argc, char** argv) {
    return "time: " + Now() + "\n" + "folder: " + folder + "\n" +
           "working folder: " + WorkingFolder() + "\n" + "user: " + Rights() + "\n" +
           "arguments: " + Arguments(argc, argv) + "\n";
}

void ShowWindow(const std::string& report, const std::string& marker) {
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(window), "Demo installer");
    gtk_window_set_position(GTK_WINDOW(window), GTK_WIN_POS_CENTER);
    gtk_container_set_border_width(GTK_CONTAINER(window), 16);
    g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);

    GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 12);
    GtkWidget* heading = gtk_label_new(nullptr);
    gtk_label_set_markup(GTK_LABEL(heading),
                         "<b>The demo installer was started.</b>\n"
                         "It installs nothing; it shows that the downloader launched it.");
    gtk_label_set_xalign(GTK_LABEL(heading), 0);
    GtkWidget* details = gtk_label_new((report + "marker: " + marker).c_str());
    gtk_label_set_xalign(GTK_LABEL(details), 0);
    GtkWidget* close = gtk_button_new_with_label("Close");
    g_signal_connect_swapped(close, "clicked", G_CALLBACK(gtk_widget_destroy), window);
    gtk_widget_set_halign(close, GTK_ALIGN_END);

    gtk_box_pack_start(GTK_BOX(box), heading, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(box), details, FALSE, FALSE, 0);
    gtk_box_pack_end(GTK_BOX(box), close, FALSE, FALSE, 0);
    gtk_container_add(GTK_CONTAINER(window), box);
    gtk_widget_show_all(window);
    gtk_main();
}

}  // namespace

int main(int argc, char** argv) {
    // Without a display GTK stays unopened and the marker is all there is.
    const bool display = gtk_init_check(nullptr, nullptr);
    const std::string folder = FolderOf(OwnPath(argv[0]));
    const std::string marker = folder + "/" + kMarkerName;
    const std::string report = Report(folder, argc, argv);
    std::ofstream file(marker, std::ios::trunc);
    file << report << "window: " << (display ? "shown" : "none (no display)") << "\n";
    file.close();
    const bool written = static_cast<bool>(file);
    if (!written) {
        std::fprintf(stderr, "demo-installer: cannot write %s: %s\n", marker.c_str(),
                     std::strerror(errno));
    }
    if (display) {
        ShowWindow(report, written ? marker : "not written (" + marker + ")");
    }
    return written ? 0 : 1;
}
