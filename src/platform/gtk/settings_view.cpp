// The GTK 3 view of the settings dialog.
//
//   1. Template 102: controls and layout
//   2. The control surface over GTK widgets
//   3. Running the dialog
#include "platform/gtk/settings_view.h"

#include <gtk/gtk.h>

#include <cmath>
#include <deque>
#include <map>
#include <string>

#include "platform/termination.h"
#include "platform/x11/dib.h"
#include "settings/control_surface.h"
#include "settings/main_dlg.h"

namespace {

// How often the dialog looks for a termination signal.
constexpr guint kTerminationPollMs = 100;

// ---------------------------------------------------------------------------
// 1. Template 102
// ---------------------------------------------------------------------------

// Pixels per dialog unit. The template was drawn for an 8-point font; GTK's
// default widgets are taller and wider, so the units are stretched rather
// than the widgets squeezed.
constexpr double kDluX = 1.9;
constexpr double kDluY = 2.0;

constexpr int kDialogWidth = 337;
constexpr int kDialogHeight = 285;

enum class Kind { DefaultButton, Button, MultiLineButton, PictureFrame, Group, List, Check, LabelRight, LabelCentre, About, Slider, Separator };

struct Control {
    int id; // 0 for the unnumbered ones
    Kind kind;
    const char* text;
    int x, y, w, h;
};

// In template order; group boxes come before what they hold, so GtkFixed
// draws them underneath.
constexpr Control kTemplate[] = {
    {dlg102::kOK, Kind::DefaultButton, "OK", 190, 265, 65, 15},
    {dlg102::kCancel, Kind::Button, "Cancel", 265, 265, 65, 15},
    {dlg102::kRestoreDefaults, Kind::Button, "Restore Defaults", 5, 265, 65, 15},
    {dlg102::kPicture, Kind::PictureFrame, "", 215, 9, 115, 80},
    {0, Kind::Group, "Video Mode", 5, 5, 95, 40},
    {dlg102::kModeList, Kind::List, "", 10, 15, 85, 13},
    {dlg102::kDesktop, Kind::Check, "Use desktop settings", 10, 30, 85, 10},
    {0, Kind::Group, "Video Settings", 110, 5, 95, 40},
    {dlg102::kAdvancedRendering, Kind::Check, "Advanced Rendering", 115, 15, 85, 10},
    {dlg102::kFPS, Kind::Check, "Enable FPS Counter", 115, 30, 85, 10},
    {0, Kind::Group, "Gamma Control", 5, 50, 200, 40},
    {dlg102::kGamma, Kind::Check, "Use custom Gamma", 10, 60, 85, 10},
    {dlg102::kBrightnessLabel, Kind::LabelRight, "Screen Brightness [100%]", 10, 70, 90, 15},
    {dlg102::kBrightness, Kind::Slider, "", 105, 70, 95, 15},
    {0, Kind::Group, "Sound Control", 5, 95, 200, 40},
    {dlg102::kSound, Kind::Check, "Enable Sound", 11, 105, 65, 10},
    {dlg102::kVolumeLabel, Kind::LabelRight, "Sound Volume [100%]", 10, 115, 90, 15},
    {dlg102::kVolume, Kind::Slider, "", 105, 115, 95, 15},
    {0, Kind::Group, "Flight Control", 215, 95, 115, 40},
    {dlg102::kVelocityLabel, Kind::LabelCentre, "Flight Velocity [min]", 220, 105, 105, 10},
    {dlg102::kVelocity, Kind::Slider, "", 221, 115, 105, 15},
    {0, Kind::Group, "Effects", 5, 140, 95, 55},
    {dlg102::kFog, Kind::Check, "Enable Fog", 10, 150, 80, 10},
    {dlg102::kFlare, Kind::Check, "Enable Flares", 10, 166, 80, 10},
    {dlg102::kClassicCamera, Kind::Check, "Helicopter mode", 10, 180, 80, 10},
    {0, Kind::Group, "Motion Blur", 110, 140, 220, 55},
    {dlg102::kMotionBlur, Kind::Check, "Enable Motion Blur", 115, 150, 85, 10},
    {dlg102::kQualityLabel, Kind::LabelRight, "Motion Blur Quality [min]", 130, 160, 85, 15},
    {dlg102::kMotionBlurQuality, Kind::Slider, "", 220, 160, 105, 15},
    {dlg102::kSamplesLabel, Kind::LabelRight, "Motion Blur Samples [min]", 125, 175, 90, 15},
    {dlg102::kMotionBlurSamples, Kind::Slider, "", 220, 175, 105, 15},
    {dlg102::kAbout, Kind::About, "Vantor \xE2\x80\x94 a flight through the canyon\nby Quellwork", 5, 205, 250, 20},
    {dlg102::kMoreInfo, Kind::MultiLineButton, "More Info...", 265, 205, 65, 20},
    {0, Kind::Separator, "", 5, 255, 325, 1},
};

int PxX(int dlu) { return static_cast<int>(std::lround(dlu * kDluX)); }
int PxY(int dlu) { return static_cast<int>(std::lround(dlu * kDluY)); }

os::Rect PixelRect(const Control& c)
{
    return os::Rect{PxX(c.x), PxY(c.y), PxX(c.x + c.w), PxY(c.y + c.h)};
}

// ---------------------------------------------------------------------------
// 2. The control surface
// ---------------------------------------------------------------------------

class GtkSurface final : public IControlSurface {
public:
    GtkSurface(CMainDlg& dlg, std::span<const uint8_t> bitmap, std::span<const uint8_t> icon)
        : m_Dlg(dlg), m_Icon(icon)
    {
        if (auto picture = dib::Decode(bitmap))
            m_Picture = MakePixbuf(*picture);
        Build();
    }

    ~GtkSurface()
    {
        if (m_Window) {
            gtk_widget_destroy(m_Window);
            // Nothing may run the main loop after us: make the window vanish now.
            gdk_display_sync(gdk_display_get_default());
        }
        if (m_Picture)
            g_object_unref(m_Picture);
        if (m_Loop)
            g_main_loop_unref(m_Loop);
    }
    GtkSurface(const GtkSurface&) = delete;
    GtkSurface& operator=(const GtkSurface&) = delete;

    int Run()
    {
        m_Dlg.OnInitDialog(*this);
        gtk_widget_show_all(m_Window);
        gtk_widget_grab_focus(Widget(dlg102::kOK));
        if (m_Result == 0) {
            m_Loop = g_main_loop_new(nullptr, FALSE);
            // A termination signal is Cancel: the dialog ends, nothing is saved.
            const guint watch = g_timeout_add(kTerminationPollMs, OnTerminationPoll, this);
            g_main_loop_run(m_Loop);
            g_source_remove(watch);
        }
        gtk_widget_hide(m_Window);
        return m_Result;
    }

    // IControlSurface ------------------------------------------------------
    void CenterDialog() override { gtk_window_set_position(GTK_WINDOW(m_Window), GTK_WIN_POS_CENTER); }

    void SetIcons() override
    {
        if (m_Icon.empty())
            return;
        GdkPixbufLoader* loader = gdk_pixbuf_loader_new();
        const bool ok = gdk_pixbuf_loader_write(loader, m_Icon.data(), m_Icon.size(), nullptr) &&
                        gdk_pixbuf_loader_close(loader, nullptr);
        if (!ok)
            gdk_pixbuf_loader_close(loader, nullptr);
        GdkPixbuf* icon = ok ? gdk_pixbuf_loader_get_pixbuf(loader) : nullptr;
        if (icon) {
            // The large and the small icon, as the window list and title bar want them.
            GdkPixbuf* big = gdk_pixbuf_scale_simple(icon, 48, 48, GDK_INTERP_BILINEAR);
            GdkPixbuf* small = gdk_pixbuf_scale_simple(icon, 16, 16, GDK_INTERP_BILINEAR);
            GList* list = nullptr;
            list = g_list_append(list, big);
            list = g_list_append(list, small);
            gtk_window_set_icon_list(GTK_WINDOW(m_Window), list);
            g_list_free(list);
            g_object_unref(big);
            g_object_unref(small);
        }
        g_object_unref(loader);
    }

    void ShowPicture(int id) override
    {
        if (GtkWidget* area = m_PictureArea; area && id == dlg102::kPicture)
            gtk_widget_queue_draw(area);
    }

    void EndDialog(int result) override
    {
        m_Result = result;
        if (m_Loop)
            g_main_loop_quit(m_Loop);
    }

    void SetCheck(int id, bool checked) override
    {
        Quiet q(*this);
        gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(Widget(id)), checked);
    }
    bool GetCheck(int id) override { return gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(Widget(id))); }

    void SetSliderRange(int id, int min, int max) override
    {
        Quiet q(*this);
        gtk_range_set_range(GTK_RANGE(Widget(id)), min, max);
    }
    void SetSliderTicks(int, int) override {} // the template's sliders show no ticks
    void SetSliderPos(int id, int pos) override
    {
        Quiet q(*this);
        gtk_range_set_value(GTK_RANGE(Widget(id)), pos); // clamps to the range
    }
    int GetSliderPos(int id) override
    {
        return static_cast<int>(std::lround(gtk_range_get_value(GTK_RANGE(Widget(id)))));
    }

    void ClearList(int id) override
    {
        Quiet q(*this);
        gtk_combo_box_text_remove_all(GTK_COMBO_BOX_TEXT(Widget(id)));
        m_ListCount = 0;
    }
    void InsertListItem(int id, int index, std::string_view text) override
    {
        Quiet q(*this);
        gtk_combo_box_text_insert_text(GTK_COMBO_BOX_TEXT(Widget(id)), index, std::string(text).c_str());
        ++m_ListCount;
    }
    void SetListSelection(int id, int index) override
    {
        Quiet q(*this);
        gtk_combo_box_set_active(GTK_COMBO_BOX(Widget(id)), index >= 0 && index < m_ListCount ? index : -1);
    }
    int GetListSelection(int id) override { return gtk_combo_box_get_active(GTK_COMBO_BOX(Widget(id))); }

    void Enable(int id, bool enabled) override { gtk_widget_set_sensitive(Widget(id), enabled); }
    void SetText(int id, std::string_view text) override
    {
        gtk_label_set_text(GTK_LABEL(Widget(id)), std::string(text).c_str());
    }

private:
    // Changes made by the dialog itself are no user input.
    struct Quiet {
        explicit Quiet(GtkSurface& s) : surface(s) { ++surface.m_Updating; }
        ~Quiet() { --surface.m_Updating; }
        GtkSurface& surface;
    };

    struct Binding {
        GtkSurface* surface;
        int id;
    };

    GtkWidget* Widget(int id) { return m_Widgets.at(id); }

    static GdkPixbuf* MakePixbuf(const dib::Picture& p)
    {
        GdkPixbuf* pb = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, p.width, p.height);
        if (!pb)
            return nullptr;
        guchar* data = gdk_pixbuf_get_pixels(pb);
        const int stride = gdk_pixbuf_get_rowstride(pb);
        for (int y = 0; y < p.height; ++y)
            for (int x = 0; x < p.width; ++x) {
                const uint32_t c = p.At(x, y);
                guchar* px = data + y * stride + x * 3;
                px[0] = static_cast<guchar>(c >> 16);
                px[1] = static_cast<guchar>(c >> 8);
                px[2] = static_cast<guchar>(c);
            }
        return pb;
    }

    void Build()
    {
        m_Window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        gtk_window_set_title(GTK_WINDOW(m_Window), "Vantor. Settings:");
        gtk_window_set_resizable(GTK_WINDOW(m_Window), FALSE);
        gtk_window_set_modal(GTK_WINDOW(m_Window), TRUE);
        gtk_window_set_type_hint(GTK_WINDOW(m_Window), GDK_WINDOW_TYPE_HINT_DIALOG);
        g_signal_connect(m_Window, "delete-event", G_CALLBACK(OnDelete), this);
        g_signal_connect(m_Window, "key-press-event", G_CALLBACK(OnKey), this);

        GtkWidget* fixed = gtk_fixed_new();
        gtk_widget_set_size_request(fixed, PxX(kDialogWidth), PxY(kDialogHeight));
        gtk_container_add(GTK_CONTAINER(m_Window), fixed);

        for (const Control& c : kTemplate) {
            GtkWidget* w = MakeControl(c);
            const os::Rect r = PixelRect(c);
            gtk_widget_set_size_request(w, r.Width(), r.Height());
            gtk_fixed_put(GTK_FIXED(fixed), w, r.left, r.top);
            if (c.id)
                m_Widgets[c.id] = w;
        }
    }

    GtkWidget* MakeControl(const Control& c)
    {
        Binding* binding = &m_Bindings.emplace_back(Binding{this, c.id});
        auto connect = [binding](GtkWidget* w, const char* signal, GCallback cb) {
            g_signal_connect(w, signal, cb, binding);
        };
        GtkWidget* w = nullptr;
        switch (c.kind) {
        case Kind::DefaultButton:
        case Kind::Button:
            w = gtk_button_new_with_label(c.text);
            connect(w, "clicked", G_CALLBACK(OnClicked));
            if (c.kind == Kind::DefaultButton) {
                gtk_widget_set_can_default(w, TRUE);
                gtk_window_set_default(GTK_WINDOW(m_Window), w);
            }
            break;
        case Kind::MultiLineButton: {
            w = gtk_button_new();
            GtkWidget* label = gtk_label_new(c.text);
            gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
            gtk_label_set_justify(GTK_LABEL(label), GTK_JUSTIFY_CENTER);
            gtk_container_add(GTK_CONTAINER(w), label);
            connect(w, "clicked", G_CALLBACK(OnClicked));
            break;
        }
        case Kind::Check:
            w = gtk_check_button_new_with_label(c.text);
            connect(w, "clicked", G_CALLBACK(OnClicked));
            break;
        case Kind::List:
            w = gtk_combo_box_text_new();
            connect(w, "changed", G_CALLBACK(OnListChanged));
            break;
        case Kind::Slider:
            w = gtk_scale_new_with_range(GTK_ORIENTATION_HORIZONTAL, 0, 100, 1);
            gtk_scale_set_draw_value(GTK_SCALE(w), FALSE);
            gtk_range_set_round_digits(GTK_RANGE(w), 0);
            gtk_range_set_increments(GTK_RANGE(w), 1, 10);
            connect(w, "value-changed", G_CALLBACK(OnSlider));
            break;
        case Kind::LabelRight:
        case Kind::LabelCentre:
            w = gtk_label_new(c.text);
            gtk_label_set_xalign(GTK_LABEL(w), c.kind == Kind::LabelRight ? 1.0f : 0.5f);
            break;
        case Kind::Group:
            w = gtk_frame_new(c.text);
            break;
        case Kind::About: {
            w = gtk_frame_new(nullptr);
            gtk_frame_set_shadow_type(GTK_FRAME(w), GTK_SHADOW_IN);
            GtkWidget* label = gtk_label_new(c.text);
            gtk_label_set_justify(GTK_LABEL(label), GTK_JUSTIFY_CENTER);
            gtk_container_add(GTK_CONTAINER(w), label);
            m_Widgets[dlg102::kAbout] = label;
            break;
        }
        case Kind::PictureFrame: {
            w = gtk_frame_new(nullptr);
            gtk_frame_set_shadow_type(GTK_FRAME(w), GTK_SHADOW_IN);
            m_PictureArea = gtk_drawing_area_new();
            g_signal_connect(m_PictureArea, "draw", G_CALLBACK(OnDrawPicture), this);
            gtk_container_add(GTK_CONTAINER(w), m_PictureArea);
            break;
        }
        case Kind::Separator:
            w = gtk_separator_new(GTK_ORIENTATION_HORIZONTAL);
            break;
        }
        return w;
    }

    static void OnClicked(GtkWidget*, Binding* b)
    {
        if (!b->surface->m_Updating)
            b->surface->m_Dlg.OnCommand(b->id, Notification::Clicked);
    }
    static void OnListChanged(GtkWidget*, Binding* b)
    {
        if (!b->surface->m_Updating)
            b->surface->m_Dlg.OnCommand(b->id, Notification::SelectionChange);
    }
    static void OnSlider(GtkWidget*, Binding* b)
    {
        if (!b->surface->m_Updating)
            b->surface->m_Dlg.OnHScroll(b->id);
    }
    static gboolean OnTerminationPoll(gpointer data)
    {
        auto* s = static_cast<GtkSurface*>(data);
        if (os::TerminationRequested() && s->m_Result == 0)
            s->m_Dlg.OnCommand(dlg102::kCancel, Notification::Clicked);
        return G_SOURCE_CONTINUE;
    }
    // The close box and Escape are the Cancel button, as in any dialog.
    static gboolean OnDelete(GtkWidget*, GdkEvent*, GtkSurface* s)
    {
        s->m_Dlg.OnCommand(dlg102::kCancel, Notification::Clicked);
        return TRUE;
    }
    static gboolean OnKey(GtkWidget*, GdkEventKey* key, GtkSurface* s)
    {
        if (key->keyval == GDK_KEY_Escape) {
            s->m_Dlg.OnCommand(dlg102::kCancel, Notification::Clicked);
            return TRUE;
        }
        if (key->keyval == GDK_KEY_Return || key->keyval == GDK_KEY_KP_Enter) {
            // Enter presses the focused push button, otherwise the default one.
            GtkWidget* focus = gtk_window_get_focus(GTK_WINDOW(s->m_Window));
            if (focus && GTK_IS_BUTTON(focus) && !GTK_IS_TOGGLE_BUTTON(focus))
                return FALSE;
            s->m_Dlg.OnCommand(dlg102::kOK, Notification::Clicked);
            return TRUE;
        }
        return FALSE;
    }
    static gboolean OnDrawPicture(GtkWidget* area, cairo_t* cr, GtkSurface* s)
    {
        const int w = gtk_widget_get_allocated_width(area);
        const int h = gtk_widget_get_allocated_height(area);
        if (!s->m_Picture || w <= 0 || h <= 0)
            return FALSE;
        // Stretched over the whole frame, as the picture window stretches it.
        GdkPixbuf* scaled = gdk_pixbuf_scale_simple(s->m_Picture, w, h, GDK_INTERP_BILINEAR);
        if (scaled) {
            gdk_cairo_set_source_pixbuf(cr, scaled, 0, 0);
            cairo_paint(cr);
            g_object_unref(scaled);
        }
        return TRUE;
    }

    CMainDlg& m_Dlg;
    std::span<const uint8_t> m_Icon;
    GdkPixbuf* m_Picture = nullptr;
    GtkWidget* m_Window = nullptr;
    GtkWidget* m_PictureArea = nullptr;
    GMainLoop* m_Loop = nullptr;
    std::map<int, GtkWidget*> m_Widgets;
    std::deque<Binding> m_Bindings; // stable addresses for the signal handlers
    int m_ListCount = 0;
    int m_Updating = 0;
    int m_Result = 0;
};

} // namespace

// ---------------------------------------------------------------------------
// 3. Running the dialog
// ---------------------------------------------------------------------------

int RunSettingsDialog(CMainDlg& dlg, std::span<const uint8_t> bitmap146, std::span<const uint8_t> icon)
{
    if (!gtk_init_check(nullptr, nullptr))
        return -1;
    GtkSurface surface(dlg, bitmap146, icon);
    const int result = surface.Run();
    return result;
}

std::optional<os::Rect> SettingsControlRect(int id)
{
    for (const Control& c : kTemplate)
        if (c.id == id && id != 0)
            return PixelRect(c);
    return std::nullopt;
}
