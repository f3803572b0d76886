// The Win32 view of the settings dialog: template 102 from the executable's
// resources, common controls for the sliders.
#include "platform/win32/settings_view_win32.h"

#include <commctrl.h>

#include <algorithm>
#include <string>
#include <utility>

#include "platform/win32/resource_ids.h"
#include "settings/main_dlg.h"

CSettingsViewWin32::CSettingsViewWin32(CMainDlg& dlg, PictureHook showPicture)
    : m_Dlg(dlg), m_ShowPicture(std::move(showPicture))
{
    // The trackbars' window class.
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
}

CSettingsViewWin32::~CSettingsViewWin32()
{
    if (m_Hwnd)
        DestroyWindow(m_Hwnd);
    if (m_BigIcon)
        DestroyIcon(m_BigIcon);
    if (m_SmallIcon)
        DestroyIcon(m_SmallIcon);
}

int CSettingsViewWin32::RunModal(HWND owner)
{
    m_Modal = true;
    m_Result = 0;
    const INT_PTR result = DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(VANTOR_IDD_SETTINGS), owner,
                                           DialogProc, reinterpret_cast<LPARAM>(this));
    m_Hwnd = nullptr;
    RethrowPending();
    if (result <= 0)
        return -1;
    return static_cast<int>(result);
}

HWND CSettingsViewWin32::CreateModeless(HWND owner)
{
    m_Modal = false;
    m_Result = 0;
    HWND hwnd = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(VANTOR_IDD_SETTINGS), owner,
                                   DialogProc, reinterpret_cast<LPARAM>(this));
    RethrowPending();
    return hwnd;
}

void CSettingsViewWin32::RethrowPending()
{
    if (m_Pending) {
        std::exception_ptr pending = std::exchange(m_Pending, nullptr);
        std::rethrow_exception(pending);
    }
}

INT_PTR CALLBACK CSettingsViewWin32::DialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_INITDIALOG) {
        SetWindowLongPtrA(hwnd, DWLP_USER, lParam);
        reinterpret_cast<CSettingsViewWin32*>(lParam)->m_Hwnd = hwnd;
    }
    auto* self = reinterpret_cast<CSettingsViewWin32*>(GetWindowLongPtrA(hwnd, DWLP_USER));
    if (!self)
        return FALSE;
    if (self->m_Pending) // the dialog is on its way out
        return FALSE;
    try {
        return self->OnMessage(msg, wParam, lParam);
    } catch (...) {
        self->m_Pending = std::current_exception();
        if (self->m_Modal)
            ::EndDialog(hwnd, -1);
        else
            DestroyWindow(hwnd);
        return TRUE;
    }
}

INT_PTR CSettingsViewWin32::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_INITDIALOG:
        return m_Dlg.OnInitDialog(*this) ? TRUE : FALSE;
    case WM_COMMAND: {
        const int id = LOWORD(wParam);
        const unsigned code = HIWORD(wParam);
        Notification n = Notification::Other;
        if (id == dlg102::kModeList)
            n = code == CBN_SELCHANGE ? Notification::SelectionChange : Notification::Other;
        else if (code == BN_CLICKED)
            n = Notification::Clicked;
        m_Dlg.OnCommand(id, n);
        return TRUE;
    }
    case WM_HSCROLL:
        // Every scroll message of a slider, the drag included, so a label
        // follows the thumb while it moves.
        if (lParam) {
            m_Dlg.OnHScroll(GetDlgCtrlID(reinterpret_cast<HWND>(lParam)));
            return TRUE;
        }
        return FALSE;
    case WM_DESTROY:
        m_Hwnd = nullptr;
        return FALSE;
    default:
        return FALSE;
    }
}

LRESULT CSettingsViewWin32::Send(int id, UINT msg, WPARAM wParam, LPARAM lParam)
{
    return SendDlgItemMessageA(m_Hwnd, id, msg, wParam, lParam);
}

// IControlSurface ----------------------------------------------------------

void CSettingsViewWin32::CenterDialog()
{
    RECT dialog{};
    GetWindowRect(m_Hwnd, &dialog);
    RECT work{};
    if (!SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0))
        work = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    // Over the owner while it can be seen, otherwise over the work area.
    RECT around = work;
    HWND owner = GetWindow(m_Hwnd, GW_OWNER);
    if (owner && IsWindowVisible(owner) && !IsIconic(owner))
        GetWindowRect(owner, &around);
    const int width = dialog.right - dialog.left, height = dialog.bottom - dialog.top;
    int x = around.left + (around.right - around.left - width) / 2;
    int y = around.top + (around.bottom - around.top - height) / 2;
    // Kept inside the work area; the top left corner wins when it is too small.
    x = std::max<int>(work.left, std::min<int>(x, work.right - width));
    y = std::max<int>(work.top, std::min<int>(y, work.bottom - height));
    SetWindowPos(m_Hwnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CSettingsViewWin32::SetIcons()
{
    HINSTANCE self = GetModuleHandleA(nullptr);
    if (!m_BigIcon)
        m_BigIcon = static_cast<HICON>(LoadImageA(self, MAKEINTRESOURCEA(VANTOR_IDI_ICON), IMAGE_ICON,
                                                  GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0));
    if (!m_SmallIcon)
        m_SmallIcon = static_cast<HICON>(LoadImageA(self, MAKEINTRESOURCEA(VANTOR_IDI_ICON), IMAGE_ICON,
                                                    GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
    if (m_BigIcon)
        SendMessageA(m_Hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_BigIcon));
    if (m_SmallIcon)
        SendMessageA(m_Hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_SmallIcon));
}

void CSettingsViewWin32::ShowPicture(int id)
{
    HWND frame = GetDlgItem(m_Hwnd, id);
    if (frame && m_ShowPicture)
        m_ShowPicture(frame);
}

void CSettingsViewWin32::EndDialog(int result)
{
    m_Result = result;
    if (!m_Hwnd)
        return;
    if (m_Modal)
        ::EndDialog(m_Hwnd, result);
    else
        DestroyWindow(m_Hwnd);
}

void CSettingsViewWin32::SetCheck(int id, bool checked)
{
    // BM_SETCHECK sends no notification: the dialog's own changes are no input.
    Send(id, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

bool CSettingsViewWin32::GetCheck(int id)
{
    return Send(id, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void CSettingsViewWin32::SetSliderRange(int id, int min, int max)
{
    Send(id, TBM_SETRANGEMIN, FALSE, min);
    Send(id, TBM_SETRANGEMAX, TRUE, max);
}

void CSettingsViewWin32::SetSliderTicks(int id, int frequency)
{
    Send(id, TBM_SETTICFREQ, static_cast<WPARAM>(frequency), 0);
}

void CSettingsViewWin32::SetSliderPos(int id, int pos)
{
    Send(id, TBM_SETPOS, TRUE, pos); // the trackbar clamps to its range
}

int CSettingsViewWin32::GetSliderPos(int id)
{
    return static_cast<int>(Send(id, TBM_GETPOS, 0, 0));
}

void CSettingsViewWin32::ClearList(int id)
{
    Send(id, CB_RESETCONTENT, 0, 0);
}

void CSettingsViewWin32::InsertListItem(int id, int index, std::string_view text)
{
    const std::string item(text);
    Send(id, CB_INSERTSTRING, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(item.c_str()));
}

void CSettingsViewWin32::SetListSelection(int id, int index)
{
    // A position past the end (or -1) clears the selection.
    Send(id, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

int CSettingsViewWin32::GetListSelection(int id)
{
    const LRESULT sel = Send(id, CB_GETCURSEL, 0, 0);
    return sel == CB_ERR ? -1 : static_cast<int>(sel);
}

void CSettingsViewWin32::Enable(int id, bool enabled)
{
    if (HWND control = GetDlgItem(m_Hwnd, id))
        EnableWindow(control, enabled);
}

void CSettingsViewWin32::SetText(int id, std::string_view text)
{
    SetDlgItemTextA(m_Hwnd, id, std::string(text).c_str());
}
