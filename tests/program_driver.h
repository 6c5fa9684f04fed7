#pragma once

#include "test_windows.h"

#include <string>
#include <vector>
#include <windows.h>

// The tunetidy.exe that the build made, the one that ships.
std::wstring BuiltProgram();

// The folder that holds tunetidy.exe and the tests' own build products.
std::wstring BuildFolder();

// Whether this process runs under Wine rather than on Windows itself.
bool RunningUnderWine();

// Starts the real tunetidy.exe and drives it from outside, as a person would:
// buttons are pressed with posted messages, the folder browser is handed the
// folder to select, and texts are read back with window messages.
class ProgramDriver {
public:
    // Starts the given copy of the program, by default the one built, from
    // its own folder, as Explorer does.
    explicit ProgramDriver(const std::wstring& program = BuiltProgram());
    ~ProgramDriver();
    ProgramDriver(const ProgramDriver&) = delete;
    ProgramDriver& operator=(const ProgramDriver&) = delete;

    HWND Dialog() const { return m_dialog; }
    std::wstring Caption() const;
    std::wstring FolderField() const;
    // Whether the folder field shows this folder, in any case: the shell
    // returns names as the disk spells them.
    bool ShowsFolder(const std::wstring& folder) const;

    void Press(int controlId);
    void CloseWindow();

    // Brings the dialog to the front, where Windows lets this process.
    [[nodiscard]] bool BringToFront();
    // Types a key, holding down `modifier` (VK_SHIFT, VK_MENU) if one is
    // given, through the system's input as a person would: only into the
    // dialog in front, or not at all.
    [[nodiscard]] bool TypeKey(WORD key, WORD modifier = 0);
    // Waits for the focus to rest on this control of the dialog.
    bool WaitForFocus(int controlId) const;

    // Waits for the program's message box with this caption, returns its text
    // and presses its OK button.
    std::wstring DismissMessageBox(const std::wstring& caption);

    // Chooses the folder in the folder browser, opened by this call or the
    // caller; returns whether the dialog now shows it.
    [[nodiscard]] bool ChooseFolder(const std::wstring& folder);
    [[nodiscard]] bool ChooseFolderInBrowser(const std::wstring& folder);
    void CancelFolderBrowser();

    // Records every distinct caption of the job that is starting or running,
    // until the dialog shows its end: the caption, having left the resting
    // text, back at rest, and the bar empty, the job's last step. Reads the
    // caption without pause: a caption is seen when its pass outlasts one read.
    std::vector<std::wstring> WatchJobCaptions() const;
    // Waits for that end; false if it does not come.
    [[nodiscard]] bool WaitForJobEnd() const;
    bool WaitForCaption(const std::wstring& caption) const;
    // Waits for the job's moving pass to move the bar to `position`; false if
    // the pass ends first.
    bool WaitForMovesPast(int position) const;

    // Waits for the process to end and returns its exit code, or -1 on time-out.
    long WaitForExit() const;

    // Saves the dialog as shown to a PNG file beside tunetidy.exe.
    void SaveScreenshot(const std::wstring& fileName) const;

private:
    HWND WaitForWindow(const std::wstring& caption) const;
    bool SelectInBrowser(HWND browser, const std::wstring& folder) const;

    PROCESS_INFORMATION m_process = {};
    HWND m_dialog = nullptr;
};
