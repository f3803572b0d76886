// The Win32 view of settings dialog template 102: the system builds the
// dialog from the template in vantor.rc; CMainDlg drives its controls
// through IControlSurface, and the view forwards clicks, slider moves and
// list changes back to it.
#pragma once

#include <windows.h>

#include <exception>
#include <functional>
#include <string_view>

#include "settings/control_surface.h"

class CMainDlg;

class CSettingsViewWin32 final : public IControlSurface {
public:
    // Puts the program's picture into the frame control once the dialog
    // exists; a child window made there goes with the dialog.
    using PictureHook = std::function<void(HWND frame)>;

    CSettingsViewWin32(CMainDlg& dlg, PictureHook showPicture);
    ~CSettingsViewWin32();
    CSettingsViewWin32(const CSettingsViewWin32&) = delete;
    CSettingsViewWin32& operator=(const CSettingsViewWin32&) = delete;

    // Runs the dialog modally with `owner` (may be null): 1 for OK, 2 for
    // Cancel or the close box, -1 when the dialog could not be created. An
    // error raised by the dialog's logic ends the dialog and is thrown again
    // from here.
    int RunModal(HWND owner);

    // The same dialog without a loop of its own, for callers that pump
    // messages themselves. Null when it could not be created.
    HWND CreateModeless(HWND owner);
    HWND Handle() const { return m_Hwnd; }
    // What the dialog ended with; 0 while it runs.
    int Result() const { return m_Result; }

    // IControlSurface
    void CenterDialog() override;
    void SetIcons() override;
    void ShowPicture(int id) override;
    void EndDialog(int result) override;
    void SetCheck(int id, bool checked) override;
    bool GetCheck(int id) override;
    void SetSliderRange(int id, int min, int max) override;
    void SetSliderTicks(int id, int frequency) override;
    void SetSliderPos(int id, int pos) override;
    int GetSliderPos(int id) override;
    void ClearList(int id) override;
    void InsertListItem(int id, int index, std::string_view text) override;
    void SetListSelection(int id, int index) override;
    int GetListSelection(int id) override;
    void Enable(int id, bool enabled) override;
    void SetText(int id, std::string_view text) override;

private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    INT_PTR OnMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT Send(int id, UINT msg, WPARAM wParam, LPARAM lParam);
    void RethrowPending();

    CMainDlg& m_Dlg;
    PictureHook m_ShowPicture;
    HWND m_Hwnd = nullptr;
    bool m_Modal = false;
    int m_Result = 0;
    HICON m_BigIcon = nullptr;
    HICON m_SmallIcon = nullptr;
    // An exception must not unwind through the system's dialog code: it
    // waits here until the dialog function has returned.
    std::exception_ptr m_Pending;
};
