// GTK 3 error box. It is shown after the program's own windows are gone, so
// it only has to stay above whatever the desktop has put on top meanwhile.
#include "platform/gtk/message_box.h"

#include <gtk/gtk.h>

#include <string>

bool ShowMessageDialog(std::string_view caption, std::string_view text)
{
    if (!gtk_init_check(nullptr, nullptr))
        return false;
    const std::string title(caption), body(text);
    GtkWidget* box = gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_INFO, GTK_BUTTONS_OK, "%s",
                                            body.c_str());
    gtk_window_set_title(GTK_WINDOW(box), title.c_str());
    gtk_window_set_keep_above(GTK_WINDOW(box), TRUE);
    gtk_window_set_position(GTK_WINDOW(box), GTK_WIN_POS_CENTER);
    gtk_window_set_urgency_hint(GTK_WINDOW(box), TRUE);
    gtk_dialog_set_default_response(GTK_DIALOG(box), GTK_RESPONSE_OK);
    // Return and Enter press OK even before the pointer has been near it.
    if (GtkWidget* ok = gtk_dialog_get_widget_for_response(GTK_DIALOG(box), GTK_RESPONSE_OK))
        gtk_widget_grab_focus(ok);
    gtk_window_present(GTK_WINDOW(box));
    gtk_dialog_run(GTK_DIALOG(box));
    gtk_widget_destroy(box);
    // Let the unmap reach the server before the process goes on to exit.
    while (gtk_events_pending())
        gtk_main_iteration();
    return true;
}
