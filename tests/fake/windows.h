// A stand-in for <windows.h> in the native test build: only the Win32 types,
// constants and functions the tool uses, with the real values and layouts.
// fake_platform.cpp implements the functions as a recording fake. The cross
// build compiles the same tool sources against the real header.
#pragma once

#include <cstdint>

#define WINAPI
#define WINAPIV
#define TRUE 1
#define FALSE 0
#ifndef NULL
#define NULL 0
#endif

typedef int BOOL;
typedef unsigned int UINT;
typedef std::uint32_t DWORD;
typedef std::uint16_t WORD;
typedef short SHORT;
typedef char CHAR;
typedef char16_t WCHAR;  // UTF-16 unit, as on Windows
typedef const CHAR* LPCSTR;
typedef CHAR* LPSTR;
typedef WCHAR* LPWSTR;
typedef const WCHAR* LPCWSTR;
typedef const void* LPCVOID;
typedef DWORD* LPDWORD;
typedef std::uintptr_t WPARAM;
typedef std::intptr_t LPARAM;
typedef void* HANDLE;
typedef struct HWND__* HWND;
typedef struct OVERLAPPED_* LPOVERLAPPED;
typedef struct SECURITY_ATTRIBUTES_* LPSECURITY_ATTRIBUTES;

typedef struct _COORD {
    SHORT X;
    SHORT Y;
} COORD;

typedef struct _SMALL_RECT {
    SHORT Left;
    SHORT Top;
    SHORT Right;
    SHORT Bottom;
} SMALL_RECT;

typedef struct _CONSOLE_SCREEN_BUFFER_INFO {
    COORD dwSize;
    COORD dwCursorPosition;
    WORD wAttributes;
    SMALL_RECT srWindow;
    COORD dwMaximumWindowSize;
} CONSOLE_SCREEN_BUFFER_INFO, *PCONSOLE_SCREEN_BUFFER_INFO;

typedef BOOL(WINAPI* PHANDLER_ROUTINE)(DWORD CtrlType);

#define STD_OUTPUT_HANDLE ((DWORD)-11)
#define CTRL_C_EVENT 0
#define CTRL_BREAK_EVENT 1
#define CTRL_CLOSE_EVENT 2
#define STATUS_CONTROL_C_EXIT ((DWORD)0xC000013A)
#define WAIT_OBJECT_0 0x00000000
#define WAIT_ABANDONED 0x00000080
#define WAIT_TIMEOUT 0x00000102
#define WM_CLOSE 0x0010
#define SWP_NOSIZE 0x0001
#define SWP_NOMOVE 0x0002
#define SWP_NOZORDER 0x0004
#define SWP_NOACTIVATE 0x0010
#define GA_ROOTOWNER 3

// KERNEL32
HANDLE WINAPI GetStdHandle(DWORD nStdHandle);
LPSTR WINAPI GetCommandLineA(void);
BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                      LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped);
DWORD WINAPI GetConsoleTitleW(LPWSTR lpConsoleTitle, DWORD nSize);
BOOL WINAPI SetConsoleTitleW(LPCWSTR lpConsoleTitle);
BOOL WINAPI GetConsoleScreenBufferInfo(HANDLE hConsoleOutput,
                                       PCONSOLE_SCREEN_BUFFER_INFO lpConsoleScreenBufferInfo);
BOOL WINAPI SetConsoleScreenBufferSize(HANDLE hConsoleOutput, COORD dwSize);
BOOL WINAPI SetConsoleWindowInfo(HANDLE hConsoleOutput, BOOL bAbsolute,
                                 const SMALL_RECT* lpConsoleWindow);
DWORD WINAPI GetCurrentThreadId(void);
void WINAPI Sleep(DWORD dwMilliseconds);
HWND WINAPI GetConsoleWindow(void);
HANDLE WINAPI CreateMutexA(LPSECURITY_ATTRIBUTES lpMutexAttributes, BOOL bInitialOwner, LPCSTR lpName);
DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds);
BOOL WINAPI ReleaseMutex(HANDLE hMutex);
BOOL WINAPI CloseHandle(HANDLE hObject);
BOOL WINAPI SetConsoleCtrlHandler(PHANDLER_ROUTINE HandlerRoutine, BOOL Add);

// USER32
HWND WINAPI FindWindowExW(HWND hWndParent, HWND hWndChildAfter, LPCWSTR lpszClass, LPCWSTR lpszWindow);
HWND WINAPI GetAncestor(HWND hwnd, UINT gaFlags);
BOOL WINAPI ShowWindow(HWND hWnd, int nCmdShow);
BOOL WINAPI SetWindowPos(HWND hWnd, HWND hWndInsertAfter, int X, int Y, int cx, int cy,
                         UINT uFlags);
BOOL WINAPI PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
int WINAPIV wsprintfA(LPSTR buffer, LPCSTR format, ...);
int WINAPIV wsprintfW(LPWSTR buffer, LPCWSTR format, ...);
