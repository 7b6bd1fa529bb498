#include "ui/StatusNotifierIcon.h"

#include <gio/gio.h>
#include <gtk/gtk.h>
#include <libayatana-appindicator/app-indicator.h>

namespace {

constexpr char kWatcherName[] = "org.kde.StatusNotifierWatcher";

}  // namespace

struct StatusNotifierIcon::Native {
    AppIndicator* indicator = nullptr;
    GtkWidget* menu = nullptr;

    ~Native() {
        if (indicator) {
            app_indicator_set_status(indicator, APP_INDICATOR_STATUS_PASSIVE);
            g_object_unref(indicator);
        }
        if (menu)
            g_object_unref(menu);
    }
};

StatusNotifierIcon::StatusNotifierIcon(std::vector<Entry> entries, int activateId,
                                       std::function<void(int id)> onChoice)
    : entries(std::move(entries)), activateId(activateId), onChoice(std::move(onChoice)) {}

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

void StatusNotifierIcon::Show(const std::string& iconThemePath, const std::string& iconName,
                              const std::string& title) {
    if (!native) {
        // Made on first use: the item lives on the bus from here on and follows
        // a panel that restarts; between hides it is only passive.
        native = std::make_unique<Native>();
        native->menu = gtk_menu_new();
        g_object_ref_sink(native->menu);
        GtkWidget* activateTarget = nullptr;
        for (const Entry& entry : entries) {
            GtkWidget* item = entry.id < 0 ? gtk_separator_menu_item_new()
                                           : gtk_menu_item_new_with_label(entry.label.c_str());
            if (entry.id >= 0) {
                g_object_set_data(G_OBJECT(item), "quor-id", GINT_TO_POINTER(entry.id));
                g_signal_connect(item, "activate", G_CALLBACK(+[](GtkMenuItem* chosen, gpointer self) {
                                     int id = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(chosen), "quor-id"));
                                     auto* icon = static_cast<StatusNotifierIcon*>(self);
                                     if (icon->onChoice)
                                         icon->onChoice(id);
                                 }),
                                 this);
                if (entry.id == activateId)
                    activateTarget = item;
            }
            gtk_menu_shell_append(GTK_MENU_SHELL(native->menu), item);
            gtk_widget_show(item);
        }
        native->indicator = app_indicator_new_with_path("quor", iconName.c_str(),
                                                        APP_INDICATOR_CATEGORY_APPLICATION_STATUS,
                                                        iconThemePath.c_str());
        app_indicator_set_menu(native->indicator, GTK_MENU(native->menu));
        if (activateTarget)
            app_indicator_set_secondary_activate_target(native->indicator, activateTarget);
    }
    app_indicator_set_icon_theme_path(native->indicator, iconThemePath.c_str());
    app_indicator_set_icon_full(native->indicator, iconName.c_str(), title.c_str());
    app_indicator_set_title(native->indicator, title.c_str());
    app_indicator_set_status(native->indicator, APP_INDICATOR_STATUS_ACTIVE);
    shown = true;
}

void StatusNotifierIcon::Remove() {
    if (native && native->indicator)
        app_indicator_set_status(native->indicator, APP_INDICATOR_STATUS_PASSIVE);
    shown = false;
}
