#pragma once

#include <string>
#include <vector>
#include <windows.h>

// The tunetidy.exe that the build made, the one that ships.
std::wstring BuiltProgram();

// The folder that holds tunetidy.exe and the tests' own build products.
std::wstring BuildFolder();

bool RunningUnderWine();

// Starts the real tunetidy.exe and drives it from outside, as a person would:
// buttons are pressed and keys typed with posted messages, and texts are read
// back with window messages.
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

    void Press(int controlId);
    void CloseWindow();

    // Waits for the program's message box with this caption, returns its text
    // and presses its OK button.
    std::wstring DismissMessageBox(const std::wstring& caption);

    // Opens the folder browser and confirms the folder reached from "/" by
    // typing the given names, one level each.
    void ChooseFolder(const std::vector<std::wstring>& namesBelowRoot);
    void CancelFolderBrowser();

    // Records every distinct caption from now until the caption, having left
    // the resting text, returns to it.
    std::vector<std::wstring> WatchJobCaptions();
    bool WaitForCaption(const std::wstring& caption);
    // Waits for the caption to return to rest, then for the job's last
    // messages, which follow it, so that the next OK meets an idle dialog.
    bool WaitForJobEnd();

    // Waits for the process to end and returns its exit code, or -1 on time-out.
    long WaitForExit();

    // Saves the dialog as shown on the X display to a PNG file beside
    // tunetidy.exe.
    void SaveScreenshot(const std::wstring& fileName) const;

private:
    HWND WaitForWindow(const std::wstring& caption) const;
    HWND OpenFolderBrowser();
    std::wstring BrowserSelection(HWND browser) const;

    PROCESS_INFORMATION m_process = {};
    HWND m_dialog = nullptr;
};

// Runs a Linux shell command from this Wine process and waits for it to end.
void RunLinuxCommand(const std::wstring& shellCommand);
