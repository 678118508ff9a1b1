// The slice of the Windows user services that the provider calls, written for this platform.
// Names and values follow the documented Windows API so that the provider's sources stay
// portable; nothing here is specific to one caller.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>

#if defined(_WIN32) && !defined(_WIN64)
#define WINAPI __stdcall
#else
#define WINAPI
#endif

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using UINT = unsigned int;
using INT = int;
using LONG = std::int32_t;
using ULONG = std::uint32_t;
using BOOL = int;
using CHAR = char;
using LPSTR = char*;
using LPCSTR = const char*;
using LPVOID = void*;
using LPCVOID = const void*;
using UINT_PTR = std::uintptr_t;
using LCID = DWORD;
using HANDLE = void*;
using HWND = struct HWND__*;
using HINSTANCE = struct HINSTANCE__*;
using HMODULE = HINSTANCE;

#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif

// Recursive lock with the critical-section operations.
struct CRITICAL_SECTION {
  alignas(std::max_align_t) unsigned char opaque[64];
};
using LPCRITICAL_SECTION = CRITICAL_SECTION*;

void InitializeCriticalSection(LPCRITICAL_SECTION cs);
void DeleteCriticalSection(LPCRITICAL_SECTION cs);
void EnterCriticalSection(LPCRITICAL_SECTION cs);
void LeaveCriticalSection(LPCRITICAL_SECTION cs);
BOOL TryEnterCriticalSection(LPCRITICAL_SECTION cs);

LONG InterlockedIncrement(LONG volatile* value);
LONG InterlockedDecrement(LONG volatile* value);

// Message boxes.
constexpr UINT MB_OK = 0x00000000;
constexpr UINT MB_OKCANCEL = 0x00000001;
constexpr UINT MB_YESNOCANCEL = 0x00000003;
constexpr UINT MB_YESNO = 0x00000004;
constexpr UINT MB_ICONERROR = 0x00000010;
constexpr UINT MB_ICONHAND = MB_ICONERROR;
constexpr UINT MB_ICONQUESTION = 0x00000020;
constexpr UINT MB_ICONWARNING = 0x00000030;
constexpr UINT MB_ICONINFORMATION = 0x00000040;
constexpr UINT MB_TYPEMASK = 0x0000000F;
constexpr UINT MB_ICONMASK = 0x000000F0;

constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);

// The process-wide handler behind MessageBoxA. The host installs the GUI box or a terminal
// prompt; tests install a scripted one. Returns the handler it replaces.
using MessageBoxHandler = std::function<int(const char* text, const char* caption, UINT type)>;
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);

// The answer a box without a handler gets when nobody can be asked: the first button
// (IDOK) for MB_OK and MB_OKCANCEL, the negative one (IDNO) for the yes/no boxes.
int DefaultMessageBoxAnswer(UINT type);
// A prompt on the terminal when standard input is one, the default answer otherwise. The
// built-in handler uses it unless a Qt GUI application runs on the calling thread, where it
// shows a Qt message box owned by the window in front; a null handler restores that one.
int TerminalMessageBox(const char* text, const char* caption, UINT type);

// Texts in the locale's character set ("ANSI code page").
constexpr LCID LOCALE_USER_DEFAULT = 0x0400;
constexpr LCID LOCALE_SYSTEM_DEFAULT = 0x0800;
constexpr DWORD NORM_IGNORECASE = 0x00000001;
constexpr int CSTR_LESS_THAN = 1;
constexpr int CSTR_EQUAL = 2;
constexpr int CSTR_GREATER_THAN = 3;

// Upper-cases `length` bytes in place, character by character in the user's locale; a
// character whose upper case would change its encoded length stays as it is. Returns the
// number of bytes processed.
DWORD CharUpperBuffA(LPSTR text, DWORD length);
// Compares two texts in the user's locale; a count of -1 means NUL-terminated. Returns one of
// CSTR_LESS_THAN, CSTR_EQUAL, CSTR_GREATER_THAN, or 0 on bad arguments.
int CompareStringA(LCID locale, DWORD flags, LPCSTR text1, int count1, LPCSTR text2, int count2);

// Reads the user's locale settings (LANG, LC_*) for the text services, once; they use them as
// a Windows process does from the start. The process's own locale (setlocale) is left as the
// program set it. Idempotent; called by the text services themselves.
void EnsureUserLocale();

// Files. MoveFileExA renames `existing` to `newName`; with MOVEFILE_REPLACE_EXISTING a file of
// that name is replaced in one step (a reader sees the old file or the new one, never a mix),
// with MOVEFILE_WRITE_THROUGH the call returns once the rename is on the disk.
constexpr DWORD MOVEFILE_REPLACE_EXISTING = 0x00000001;
constexpr DWORD MOVEFILE_WRITE_THROUGH = 0x00000008;
BOOL MoveFileExA(LPCSTR existing, LPCSTR newName, DWORD flags);
// The C runtime's low-level calls on a stream: its descriptor, and the flush of everything
// written to the descriptor onto the disk (0 on success, -1 on failure).
int _fileno(std::FILE* stream);
int _commit(int fd);

// TRUE when any of the `size` bytes at `address` cannot be read.
BOOL IsBadReadPtr(LPCVOID address, UINT_PTR size);

// Registry: a file-backed stand-in that holds string values only. The file is named by
// PXAB_REGISTRY, else $XDG_CONFIG_HOME/pxab/registry (~/.config/pxab/registry); it has one
// "[HKEY_LOCAL_MACHINE\Software\...]" line per key followed by its "Name=value" lines. Key
// and value names compare without regard to case, as on Windows.
using HKEY = struct HKEY__*;
using PHKEY = HKEY*;
using LPBYTE = BYTE*;
using LPDWORD = DWORD*;
using LSTATUS = LONG;
using REGSAM = DWORD;
#define HKEY_CURRENT_USER (reinterpret_cast<HKEY>(static_cast<UINT_PTR>(0x80000001u)))
#define HKEY_LOCAL_MACHINE (reinterpret_cast<HKEY>(static_cast<UINT_PTR>(0x80000002u)))
constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_READ = 0x20019;
constexpr DWORD REG_SZ = 1;
constexpr LSTATUS ERROR_SUCCESS = 0;
constexpr LSTATUS ERROR_FILE_NOT_FOUND = 2;
constexpr LSTATUS ERROR_ACCESS_DENIED = 5;
constexpr LSTATUS ERROR_INVALID_HANDLE = 6;
constexpr LSTATUS ERROR_INVALID_PARAMETER = 87;
constexpr LSTATUS ERROR_MORE_DATA = 234;

LSTATUS RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM access, PHKEY result);
// Reads a value; with a null `data` only its type and size (terminating NUL included).
LSTATUS RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD size);
LSTATUS RegCloseKey(HKEY key);

// Shell: ShellExecuteA with the verb "open" (or none) opens a file or web address with the
// desktop's opener: Qt's when a Qt GUI application runs on the calling thread, xdg-open
// otherwise. Like Windows it returns a value above 32 on success and an error number (at most
// 32) on failure.
constexpr INT SW_SHOWNORMAL = 1;
constexpr INT SE_ERR_NOASSOC = 31;
constexpr INT ERROR_BAD_FORMAT = 11;
HINSTANCE ShellExecuteA(HWND owner, LPCSTR verb, LPCSTR file, LPCSTR parameters, LPCSTR directory, INT show);
// The process-wide opener behind ShellExecuteA, replaceable like the message-box handler
// (tests record instead of opening a browser). Returns true when the file was handed over.
using ShellOpenHandler = std::function<bool(const char* file)>;
ShellOpenHandler SetShellOpenHandler(ShellOpenHandler handler);
