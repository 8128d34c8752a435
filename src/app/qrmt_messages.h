// Window message codes between the views, and the program's user-visible
// texts, in one place.
#pragma once

namespace qrmt {

inline constexpr unsigned WM_USER = 0x400;

inline constexpr unsigned UM_ADD_RESULT = WM_USER + 1;        // 1025 -> report: lParam = CountResults index
inline constexpr unsigned UM_CLEAR_REPORT = WM_USER + 2;      // 1026 -> report
inline constexpr unsigned UM_COUNT_ENDED = WM_USER + 3;       // 1027 -> file selection
inline constexpr unsigned UM_SETTINGS_CHANGED = WM_USER + 4;  // 1028 -> selection, settings, report
inline constexpr unsigned UM_ADDING_FILES = WM_USER + 5;      // 1029 -> main: wParam 1 start, 0 end
inline constexpr unsigned UM_ABORT = WM_USER + 6;             // 1030 -> selection, settings, report
inline constexpr unsigned UM_COUNT_PROGRESS = WM_USER + 7;    // 1031 -> main: wParam 1/0, lParam percent
inline constexpr unsigned UM_QUEUE_SIZE = WM_USER + 8;        // 1032 -> main: wParam rows
inline constexpr unsigned UM_CHECK_UPDATES = WM_USER + 9;     // 1033 -> main
inline constexpr unsigned UM_UNZIP_PROGRESS = WM_USER + 16;   // 1040 -> main: wParam percent
inline constexpr unsigned UM_REPORT_TOTALS = WM_USER + 18;    // 1042 -> report
inline constexpr unsigned UM_EXPORT_PROGRESS = WM_USER + 19;  // 1043 -> main: wParam 1/0, lParam percent
inline constexpr unsigned UM_APP_QUERY_VISIBLE = 0x500;
inline constexpr unsigned UM_APP_SET_VISIBLE = 0x501;

namespace msg {

inline constexpr const char* AppTitle = "Kestrune Quorimeter";
inline constexpr const char* StartLogLine = " start ... ok";
inline constexpr const char* AddFilesFirst = "Add files to Count Queue first!";
inline constexpr const char* CountingProgress = "Counting files (%d%% done). Press ESC to abort.";
inline constexpr const char* AddingFiles = "Adding files. Press ESC to abort.";
inline constexpr const char* FilesToCount = "%d : file(s) to count";
inline constexpr const char* ExtractProgress = "Extract zip file: %d%% done";
inline constexpr const char* ExportProgress = "Exporting the report (%d%% done).";
inline constexpr const char* AbortQuestion = "Abort current operation?";
inline constexpr const char* AreYouSure = "Are you sure?";
inline constexpr const char* AddFileLogPrefix = "(f) AddFile: ";

// Settings containers that cannot be used as they are.
inline constexpr const char* ContainerKeptAside =
    "%1\n\nThe file was kept as \"%2\", and a new settings container with the default settings takes its place.";
inline constexpr const char* ContainerKeptAsideFailed =
    "%1\n\nThe file could not be renamed (%2). It stays untouched; the program runs with the default settings "
    "and will not save them.";
inline constexpr const char* ContainerLocked =
    "%1\n\nThis copy of the program runs with the settings it could read and will not save them.";
inline constexpr const char* ContainerReopened = "%1\n\nThe settings container \"%2\" stays in use.";
inline constexpr const char* ContainerLeftAlone =
    "%1\n\nThe program leaves it as it is, runs with the default settings and will not save them.";
inline constexpr const char* ContainerReadOnly =
    "%1\n\nThe settings were read from it, but changes will not be saved there. Choose Save Settings As to keep "
    "them in another file.";
inline constexpr const char* ContainerNotReadNow =
    "%1\n\nThe file is not moved or changed. This copy of the program runs with the default settings and will "
    "not save them.";
inline constexpr const char* SlowContainer =
    "Reading the settings container \"%1\" took %2 seconds: it holds %3 file formats, and every one is a file of "
    "its own that must be deciphered. Deleting the formats you do not need makes the start faster.";
inline constexpr const char* FormatsRefused =
    "%1 file format definition(s) in the settings container \"%2\" are %3 characters or longer and were not read.";

// Settings that could not be saved at the end.
inline constexpr const char* SettingsRescued =
    "The settings were saved in \"%1\" instead; choose it in the Settings menu to use them.";
inline constexpr const char* SettingsNotRescued = "They could not be saved anywhere else either: %1";

// The about box.
inline constexpr const char* AboutRights = "Copyright (c) Kestrune Software.\nAll rights reserved.";
inline constexpr const char* AboutWarning =
    "This program is protected by copyright law. Copying or distributing it, or any part of it, without the "
    "permission of Kestrune Software is not allowed.";

// Mail and web.
inline constexpr const char* SupportMailbox = "support@kestrune.example";
inline constexpr const char* NewsletterMailbox = "news@kestrune.example";
inline constexpr const char* WebSite = "https://www.kestrune.example/quorimeter/";
inline constexpr const char* NewsletterSubject = "?subject=Kestrune%20News";
inline constexpr const char* SupportWord = "Support";
inline constexpr const char* FeedbackWord = "Feedback";
inline constexpr const char* SupportBodyIntro = "Please describe your problem in as much detail as possible.";
inline constexpr const char* SupportBodyInfo = "System Information required for support purposes:";
inline constexpr const char* SupportBodyWindows = "MS Windows: ";
inline constexpr const char* SupportBodyBrowser = "Internet Explorer: IE v.";

}  // namespace msg
}  // namespace qrmt
