#include "ui/StatusNotifierIcon.h"

#include <gio/gio.h>
#include <gtk/gtk.h>
#include <libayatana-appindicator/app-indicator.h>

#include <string>

namespace {

constexpr char kWatcherName[] = "org.kde.StatusNotifierWatcher";
constexpr char kItemInterface[] = "org.kde.StatusNotifierItem";
constexpr char kItemId[] = "quor";
// Where the library exports the item made with kItemId.
constexpr char kItemPath[] = "/org/ayatana/NotificationItem/quor";
// How often a shown item that has not reached the panel is looked at, and how
// many times it is made anew before it is left as it is.
constexpr guint kRegistrationCheckMs = 2000;
constexpr int kMaxRemakes = 5;

}  // namespace

struct StatusNotifierIcon::Native {
    AppIndicator* indicator = nullptr;
    GtkWidget* menu = nullptr;
    GDBusConnection* bus = nullptr;
    guint filter = 0;
    guint registrationCheck = 0;
    int remakes = 0;
    std::string iconThemePath, iconName, title;

    ~Native() {
        if (registrationCheck)
            g_source_remove(registrationCheck);
        if (filter)
            g_dbus_connection_remove_filter(bus, filter);
        if (bus)
            g_object_unref(bus);
        DropIndicator();
        if (menu)
            g_object_unref(menu);
    }

    void MakeIndicator() {
        indicator = app_indicator_new_with_path(kItemId, iconName.c_str(), APP_INDICATOR_CATEGORY_APPLICATION_STATUS,
                                                iconThemePath.c_str());
        app_indicator_set_menu(indicator, GTK_MENU(menu));
    }

    void DropIndicator() {
        if (!indicator)
            return;
        app_indicator_set_status(indicator, APP_INDICATOR_STATUS_PASSIVE);
        // Off the bus now, whoever else still holds it: a new item takes its path.
        g_object_run_dispose(G_OBJECT(indicator));
        g_object_unref(indicator);
        indicator = nullptr;
    }

    void ShowIndicator() {
        app_indicator_set_icon_theme_path(indicator, iconThemePath.c_str());
        app_indicator_set_icon_full(indicator, iconName.c_str(), title.c_str());
        app_indicator_set_title(indicator, title.c_str());
        app_indicator_set_status(indicator, APP_INDICATOR_STATUS_ACTIVE);
    }

    bool Connected() const {
        gboolean connected = FALSE;
        g_object_get(indicator, "connected", &connected, nullptr);
        return connected;
    }

    // The library looks for the panel's watcher and gets its own connection to
    // the bus at once, each finishing on a thread of its own; when the watcher
    // is found first, the item never registers and stays off the panel for
    // good (a hidden window could then not be had back). Such an item is made
    // anew while the panel is there.
    static gboolean CheckRegistration(gpointer self) {
        auto* icon = static_cast<StatusNotifierIcon*>(self);
        Native& native = *icon->native;
        // Without a watcher the library itself finds the next one that comes.
        if (!icon->shown || native.Connected() || native.remakes >= kMaxRemakes || !WatcherPresent()) {
            native.registrationCheck = 0;
            return G_SOURCE_REMOVE;
        }
        ++native.remakes;
        native.DropIndicator();
        native.MakeIndicator();
        native.ShowIndicator();
        return G_SOURCE_CONTINUE;
    }

    // The library answers no "Activate" and passes a secondary activation only to a
    // menu entry, so both are taken off the bus here, before it sees them. Runs on
    // the bus's own thread: the activation itself is handed to the GUI thread.
    static GDBusMessage* Filter(GDBusConnection* connection, GDBusMessage* message, gboolean incoming, gpointer self) {
        if (!incoming || g_dbus_message_get_message_type(message) != G_DBUS_MESSAGE_TYPE_METHOD_CALL ||
            g_strcmp0(g_dbus_message_get_path(message), kItemPath) != 0 ||
            g_strcmp0(g_dbus_message_get_interface(message), kItemInterface) != 0)
            return message;
        const char* member = g_dbus_message_get_member(message);
        if (g_strcmp0(member, "Activate") != 0 && g_strcmp0(member, "SecondaryActivate") != 0 &&
            g_strcmp0(member, "XAyatanaSecondaryActivate") != 0)
            return message;
        g_idle_add(
            +[](gpointer icon) {
                auto* owner = static_cast<StatusNotifierIcon*>(icon);
                if (owner->onActivate)
                    owner->onActivate();
                return G_SOURCE_REMOVE;
            },
            self);
        GDBusMessage* reply = g_dbus_message_new_method_reply(message);
        g_dbus_connection_send_message(connection, reply, G_DBUS_SEND_MESSAGE_FLAGS_NONE, nullptr, nullptr);
        g_object_unref(reply);
        g_object_unref(message);
        return nullptr;
    }
};

StatusNotifierIcon::StatusNotifierIcon(std::vector<Entry> entries, std::function<void(int id)> onChoice,
                                       std::function<void()> onActivate)
    : entries(std::move(entries)), onChoice(std::move(onChoice)), onActivate(std::move(onActivate)) {}

StatusNotifierIcon::~StatusNotifierIcon() = default;

bool StatusNotifierIcon::WatcherPresent() {
    GError* error = nullptr;
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    if (!bus) {
        g_clear_error(&error);
        return false;
    }
    GVariant* reply = g_dbus_connection_call_sync(
        bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "NameHasOwner",
        g_variant_new("(s)", kWatcherName), G_VARIANT_TYPE("(b)"), G_DBUS_CALL_FLAGS_NONE, 2000, nullptr, &error);
    g_object_unref(bus);
    if (!reply) {
        g_clear_error(&error);
        return false;
    }
    gboolean owned = FALSE;
    g_variant_get(reply, "(b)", &owned);
    g_variant_unref(reply);
    return owned;
}

void StatusNotifierIcon::Show(const std::string& iconThemePath, const std::string& iconName, const std::string& title) {
    if (!native) {
        // Made on first use: the item lives on the bus from here on and follows
        // a panel that restarts; between hides it is only passive.
        native = std::make_unique<Native>();
        native->menu = gtk_menu_new();
        g_object_ref_sink(native->menu);
        for (const Entry& entry : entries) {
            GtkWidget* item =
                entry.id < 0 ? gtk_separator_menu_item_new() : gtk_menu_item_new_with_label(entry.label.c_str());
            if (entry.id >= 0) {
                g_object_set_data(G_OBJECT(item), "quor-id", GINT_TO_POINTER(entry.id));
                g_signal_connect(item, "activate", G_CALLBACK(+[](GtkMenuItem* chosen, gpointer self) {
                                     int id = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(chosen), "quor-id"));
                                     auto* icon = static_cast<StatusNotifierIcon*>(self);
                                     if (icon->onChoice)
                                         icon->onChoice(id);
                                 }),
                                 this);
            }
            gtk_menu_shell_append(GTK_MENU_SHELL(native->menu), item);
            gtk_widget_show(item);
        }
        // The library exports the item on the shared session connection.
        native->bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
        if (native->bus)
            native->filter = g_dbus_connection_add_filter(native->bus, &Native::Filter, this, nullptr);
    }
    native->iconThemePath = iconThemePath;
    native->iconName = iconName;
    native->title = title;
    if (!native->indicator)
        native->MakeIndicator();
    native->ShowIndicator();
    shown = true;
    if (!native->registrationCheck) {
        native->remakes = 0;
        native->registrationCheck = g_timeout_add(kRegistrationCheckMs, &Native::CheckRegistration, this);
    }
}

void StatusNotifierIcon::Remove() {
    if (native && native->indicator)
        app_indicator_set_status(native->indicator, APP_INDICATOR_STATUS_PASSIVE);
    shown = false;
}
