// The macros the Windows headers define for names a platform layer is tempted to use, defined
// the same way: the API functions as function-like macros with the arity of the API call, the
// constants and keywords as object-like macros. Included by the generated header check after
// the standard library's headers and before every platform header.
//
// Where windows.h maps a name onto its wide variant (SendMessage -> SendMessageW), the macro
// here expands to the wide name qualified by the global scope: a declaration or call with the
// API's own arity then fails as well, not only one with another arity (which is how
// `CreateWindow` with fewer than eleven arguments fails under windows.h).
#pragma once

// Windowing and messages.
#define CreateWindow(lpClassName, lpWindowName, dwStyle, x, y, nWidth, nHeight, hWndParent, hMenu,    \
                     hInstance, lpParam)                                                              \
  ::CreateWindowExW(0L, lpClassName, lpWindowName, dwStyle, x, y, nWidth, nHeight, hWndParent, hMenu, \
                    hInstance, lpParam)
#define CreateWindowEx(a, b, c, d, e, f, g, h, i, j, k, l) \
  ::CreateWindowExW(a, b, c, d, e, f, g, h, i, j, k, l)
#define RegisterClass(lpWndClass) ::RegisterClassW(lpWndClass)
#define RegisterClassEx(lpWndClass) ::RegisterClassExW(lpWndClass)
#define UnregisterClass(lpClassName, hInstance) ::UnregisterClassW(lpClassName, hInstance)
#define GetClassInfo(hInstance, lpClassName, lpWndClass) ::GetClassInfoW(hInstance, lpClassName, lpWndClass)
#define DefWindowProc(hWnd, Msg, wParam, lParam) ::DefWindowProcW(hWnd, Msg, wParam, lParam)
#define CallWindowProc(lpPrevWndFunc, hWnd, Msg, wParam, lParam) \
  ::CallWindowProcW(lpPrevWndFunc, hWnd, Msg, wParam, lParam)
#define SendMessage(hWnd, Msg, wParam, lParam) ::SendMessageW(hWnd, Msg, wParam, lParam)
#define SendMessageTimeout(a, b, c, d, e, f, g) ::SendMessageTimeoutW(a, b, c, d, e, f, g)
#define PostMessage(hWnd, Msg, wParam, lParam) ::PostMessageW(hWnd, Msg, wParam, lParam)
#define PostThreadMessage(idThread, Msg, wParam, lParam) ::PostThreadMessageW(idThread, Msg, wParam, lParam)
#define GetMessage(lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax) \
  ::GetMessageW(lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax)
#define PeekMessage(lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax, wRemoveMsg) \
  ::PeekMessageW(lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax, wRemoveMsg)
#define DispatchMessage(lpMsg) ::DispatchMessageW(lpMsg)
#define IsDialogMessage(hDlg, lpMsg) ::IsDialogMessageW(hDlg, lpMsg)
#define TranslateAccelerator(hWnd, hAccTable, lpMsg) ::TranslateAcceleratorW(hWnd, hAccTable, lpMsg)
#define RegisterWindowMessage(lpString) ::RegisterWindowMessageW(lpString)
#define FindWindow(lpClassName, lpWindowName) ::FindWindowW(lpClassName, lpWindowName)
#define FindWindowEx(a, b, c, d) ::FindWindowExW(a, b, c, d)
#define GetClassName(hWnd, lpClassName, nMaxCount) ::GetClassNameW(hWnd, lpClassName, nMaxCount)
#define GetWindowText(hWnd, lpString, nMaxCount) ::GetWindowTextW(hWnd, lpString, nMaxCount)
#define SetWindowText(hWnd, lpString) ::SetWindowTextW(hWnd, lpString)
#define GetWindowLong(hWnd, nIndex) ::GetWindowLongW(hWnd, nIndex)
#define SetWindowLong(hWnd, nIndex, dwNewLong) ::SetWindowLongW(hWnd, nIndex, dwNewLong)
#define GetWindowLongPtr(hWnd, nIndex) ::GetWindowLongPtrW(hWnd, nIndex)
#define SetWindowLongPtr(hWnd, nIndex, dwNewLong) ::SetWindowLongPtrW(hWnd, nIndex, dwNewLong)
#define GetProp(hWnd, lpString) ::GetPropW(hWnd, lpString)
#define SetProp(hWnd, lpString, hData) ::SetPropW(hWnd, lpString, hData)
#define RemoveProp(hWnd, lpString) ::RemovePropW(hWnd, lpString)
#define MessageBox(hWnd, lpText, lpCaption, uType) ::MessageBoxW(hWnd, lpText, lpCaption, uType)
#define MessageBoxEx(hWnd, lpText, lpCaption, uType, wLanguageId) \
  ::MessageBoxExW(hWnd, lpText, lpCaption, uType, wLanguageId)
#define DialogBox(hInstance, lpTemplate, hWndParent, lpDialogFunc) \
  ::DialogBoxW(hInstance, lpTemplate, hWndParent, lpDialogFunc)
#define CreateDialog(hInstance, lpName, hWndParent, lpDialogFunc) \
  ::CreateDialogW(hInstance, lpName, hWndParent, lpDialogFunc)
#define LoadString(hInstance, uID, lpBuffer, cchBufferMax) \
  ::LoadStringW(hInstance, uID, lpBuffer, cchBufferMax)
#define LoadIcon(hInstance, lpIconName) ::LoadIconW(hInstance, lpIconName)
#define LoadCursor(hInstance, lpCursorName) ::LoadCursorW(hInstance, lpCursorName)
#define LoadImage(a, b, c, d, e, f) ::LoadImageW(a, b, c, d, e, f)
#define DrawText(hdc, lpchText, cchText, lprc, format) ::DrawTextW(hdc, lpchText, cchText, lprc, format)
#define CharUpper(lpsz) ::CharUpperW(lpsz)
#define CharLower(lpsz) ::CharLowerW(lpsz)
#define GetObject(h, c, pv) ::GetObjectW(h, c, pv)

// Processes, the shell and the environment.
#define ShellExecute(hwnd, lpOperation, lpFile, lpParameters, lpDirectory, nShowCmd) \
  ::ShellExecuteW(hwnd, lpOperation, lpFile, lpParameters, lpDirectory, nShowCmd)
#define ShellExecuteEx(pExecInfo) ::ShellExecuteExW(pExecInfo)
#define CreateProcess(a, b, c, d, e, f, g, h, i, j) ::CreateProcessW(a, b, c, d, e, f, g, h, i, j)
#define GetCommandLine() ::GetCommandLineW()
#define GetStartupInfo(lpStartupInfo) ::GetStartupInfoW(lpStartupInfo)
#define ExpandEnvironmentStrings(lpSrc, lpDst, nSize) ::ExpandEnvironmentStringsW(lpSrc, lpDst, nSize)
#define GetEnvironmentVariable(lpName, lpBuffer, nSize) ::GetEnvironmentVariableW(lpName, lpBuffer, nSize)
#define SetEnvironmentVariable(lpName, lpValue) ::SetEnvironmentVariableW(lpName, lpValue)
#define GetModuleFileName(hModule, lpFilename, nSize) ::GetModuleFileNameW(hModule, lpFilename, nSize)
#define GetModuleHandle(lpModuleName) ::GetModuleHandleW(lpModuleName)
#define LoadLibrary(lpLibFileName) ::LoadLibraryW(lpLibFileName)
#define LoadLibraryEx(lpLibFileName, hFile, dwFlags) ::LoadLibraryExW(lpLibFileName, hFile, dwFlags)
#define GetUserName(lpBuffer, pcbBuffer) ::GetUserNameW(lpBuffer, pcbBuffer)
#define GetComputerName(lpBuffer, nSize) ::GetComputerNameW(lpBuffer, nSize)
#define OutputDebugString(lpOutputString) ::OutputDebugStringW(lpOutputString)
#define FormatMessage(a, b, c, d, e, f, g) ::FormatMessageW(a, b, c, d, e, f, g)
#define GetVersionEx(lpVersionInformation) ::GetVersionExW(lpVersionInformation)
#define CreateEvent(a, b, c, d) ::CreateEventW(a, b, c, d)
#define CreateMutex(a, b, c) ::CreateMutexW(a, b, c)
#define GetCurrentTime() ::GetTickCount()
#define Yield()

// Files and folders.
#define CopyFile(lpExistingFileName, lpNewFileName, bFailIfExists) \
  ::CopyFileW(lpExistingFileName, lpNewFileName, bFailIfExists)
#define MoveFile(lpExistingFileName, lpNewFileName) ::MoveFileW(lpExistingFileName, lpNewFileName)
#define DeleteFile(lpFileName) ::DeleteFileW(lpFileName)
#define ReplaceFile(a, b, c, d, e, f) ::ReplaceFileW(a, b, c, d, e, f)
#define CreateFile(a, b, c, d, e, f, g) ::CreateFileW(a, b, c, d, e, f, g)
#define CreateDirectory(lpPathName, lpSecurityAttributes) ::CreateDirectoryW(lpPathName, lpSecurityAttributes)
#define RemoveDirectory(lpPathName) ::RemoveDirectoryW(lpPathName)
#define GetFileAttributes(lpFileName) ::GetFileAttributesW(lpFileName)
#define FindFirstFile(lpFileName, lpFindFileData) ::FindFirstFileW(lpFileName, lpFindFileData)
#define FindNextFile(hFindFile, lpFindFileData) ::FindNextFileW(hFindFile, lpFindFileData)
#define GetTempPath(nBufferLength, lpBuffer) ::GetTempPathW(nBufferLength, lpBuffer)
#define GetTempFileName(a, b, c, d) ::GetTempFileNameW(a, b, c, d)
#define GetCurrentDirectory(nBufferLength, lpBuffer) ::GetCurrentDirectoryW(nBufferLength, lpBuffer)
#define SetCurrentDirectory(lpPathName) ::SetCurrentDirectoryW(lpPathName)
#define GetFullPathName(a, b, c, d) ::GetFullPathNameW(a, b, c, d)
#define SearchPath(a, b, c, d, e, f) ::SearchPathW(a, b, c, d, e, f)
#define CreateFileMapping(a, b, c, d, e, f) ::CreateFileMappingW(a, b, c, d, e, f)

// Registry, regional settings.
#define RegOpenKeyEx(a, b, c, d, e) ::RegOpenKeyExW(a, b, c, d, e)
#define RegQueryValueEx(a, b, c, d, e, f) ::RegQueryValueExW(a, b, c, d, e, f)
#define RegSetValueEx(a, b, c, d, e, f) ::RegSetValueExW(a, b, c, d, e, f)
#define RegCreateKeyEx(a, b, c, d, e, f, g, h, i) ::RegCreateKeyExW(a, b, c, d, e, f, g, h, i)
#define RegEnumKeyEx(a, b, c, d, e, f, g, h) ::RegEnumKeyExW(a, b, c, d, e, f, g, h)
#define RegDeleteKey(hKey, lpSubKey) ::RegDeleteKeyW(hKey, lpSubKey)
#define RegDeleteValue(hKey, lpValueName) ::RegDeleteValueW(hKey, lpValueName)
#define GetLocaleInfo(Locale, LCType, lpLCData, cchData) ::GetLocaleInfoW(Locale, LCType, lpLCData, cchData)
#define SetLocaleInfo(Locale, LCType, lpLCData) ::SetLocaleInfoW(Locale, LCType, lpLCData)
#define GetDateFormat(a, b, c, d, e, f) ::GetDateFormatW(a, b, c, d, e, f)
#define GetTimeFormat(a, b, c, d, e, f) ::GetTimeFormatW(a, b, c, d, e, f)

// The minimum and maximum macros (unless NOMINMAX).
#define min(a, b) (((a) < (b)) ? (a) : (b))
#define max(a, b) (((a) > (b)) ? (a) : (b))

// Constants.
#define WM_NULL 0x0000
#define WM_CREATE 0x0001
#define WM_DESTROY 0x0002
#define WM_CLOSE 0x0010
#define WM_QUIT 0x0012
#define WM_COPYDATA 0x004A
#define WM_TIMER 0x0113
#define WM_USER 0x0400
#define WM_APP 0x8000
#define PM_NOREMOVE 0x0000
#define PM_REMOVE 0x0001
#define WS_CAPTION 0x00C00000L
#define SW_HIDE 0
#define SW_NORMAL 1
#define SW_SHOWNORMAL 1
#define MB_OK 0x00000000L
#define IDOK 1
#define IDCANCEL 2
#define IDYES 6
#define IDNO 7
#define STILL_ACTIVE ((unsigned long)0x00000103L)
#define INFINITE 0xFFFFFFFF
#define MAX_PATH 260
#define INVALID_HANDLE_VALUE ((void*)(long long)-1)
#define HKEY_LOCAL_MACHINE ((void*)(unsigned long long)((long)0x80000002))
#define HKEY_CURRENT_USER ((void*)(unsigned long long)((long)0x80000001))
#define REG_SZ (1ul)
#define REG_EXPAND_SZ (2ul)
#define REG_DWORD (4ul)
#define ERROR_SUCCESS 0L
#define NO_ERROR 0L
#define ERROR 0
#define DELETE (0x00010000L)
#define TRUE 1
#define FALSE 0
#define IGNORE 0
#define ABSOLUTE 1
#define RELATIVE 2
#define TRANSPARENT 1
#define OPAQUE 2
#define DIFFERENCE 11
#define CP_ACP 0
#define CP_UTF8 65001

// Keywords and annotations.
#define IN
#define OUT
#define OPTIONAL
#define near
#define far
#define CONST const
#define VOID void
#define CALLBACK
#define WINAPI
#define APIENTRY
#define PASCAL
#define interface struct
#define small char
