#include "win32/Win32World.h"

#include "base/win32/Controls.h"

namespace np::test {

RECT rectOf(HWND control) { return rectInParent(control); }

namespace {

struct Watch {
  const wchar_t* title;
  HWND except;
  std::function<void(HWND)> action;
  bool found = false;
};
Watch* watch = nullptr;

HWND findVisible(const wchar_t* title, HWND except) {
  struct Search {
    const wchar_t* title;
    HWND except;
    HWND found;
  } search{title, except, nullptr};
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND w, LPARAM p) CALLBACK -> BOOL {
        auto* s = reinterpret_cast<Search*>(p);
        wchar_t text[128] = {};
        GetWindowTextW(w, text, 128);
        if (w != s->except && IsWindowVisible(w) && wcscmp(text, s->title) == 0) {
          s->found = w;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

void CALLBACK onTimer(HWND, UINT, UINT_PTR id, DWORD) {
  if (!watch || watch->found) return;
  HWND w = findVisible(watch->title, watch->except);
  if (!w) return;
  KillTimer(nullptr, id);
  watch->found = true;
  watch->action(w);
}

}  // namespace

bool whenWindowOpens(const wchar_t* title, const std::function<void(HWND)>& action, const std::function<void()>& start,
                     HWND except) {
  Watch w{title, except, action};
  watch = &w;
  const UINT_PTR timer = SetTimer(nullptr, 0, 10, onTimer);
  start();
  if (!w.found) KillTimer(nullptr, timer);
  watch = nullptr;
  return w.found;
}

std::vector<int> tabOrder(HWND window, HWND first) {
  std::vector<int> order;
  HWND c = first;
  while (c && order.size() < 20) {
    order.push_back(GetDlgCtrlID(c));
    c = GetNextDlgTabItem(window, c, FALSE);
    if (c == first) break;
  }
  return order;
}

}  // namespace np::test
