#pragma once
// Message maps: static tables of message, notification code, id and member function, one per
// class, each chained to its base class's table. A handler is bound through a small typed thunk,
// so a handler of the wrong signature does not compile.
//
//   BEGIN_MESSAGE_MAP(CMyDlg, CDialog)
//     ON_WM_PAINT()
//     ON_COMMAND(ID_FILE_OPEN, OnFileOpen)
//   END_MESSAGE_MAP()

#include <windows.h>
#include <shellapi.h>

namespace qfw {

class CCmdTarget;

// Runs one handler; false when the handler declined the message.
using MessageInvoker = bool (*)(CCmdTarget& target, WPARAM wParam, LPARAM lParam, LRESULT& result);

struct MessageMapEntry {
  UINT message;
  UINT code;  // the notification code of WM_NOTIFY; 0 otherwise
  UINT id;    // the command or control id of WM_COMMAND and WM_NOTIFY; 0 otherwise
  MessageInvoker invoke;
};

struct MessageMap {
  const MessageMap* (*base)();  // the base class's map; none for the root
  const MessageMapEntry* entries;  // ends with an entry whose message is 0
};

template <class Pmf>
struct MemberOf;
template <class Class, class Function>
struct MemberOf<Function Class::*> {
  using type = Class;
};

// The thunks behind the ON_ macros: each unpacks wParam and lParam for one handler signature.
template <auto Handler>
struct Bind {
  using Target = typename MemberOf<decltype(Handler)>::type;
  static Target& Of(CCmdTarget& target) { return static_cast<Target&>(target); }

  static bool Command(CCmdTarget& t, WPARAM, LPARAM, LRESULT&) {
    (Of(t).*Handler)();
    return true;
  }
  static bool Notify(CCmdTarget& t, WPARAM, LPARAM lParam, LRESULT& result) {
    (Of(t).*Handler)(reinterpret_cast<NMHDR*>(lParam), &result);
    return true;
  }
  static bool SysCommand(CCmdTarget& t, WPARAM wParam, LPARAM lParam, LRESULT&) {
    (Of(t).*Handler)(static_cast<UINT>(wParam), lParam);
    return true;
  }
  static bool QueryDragIcon(CCmdTarget& t, WPARAM, LPARAM, LRESULT& result) {
    result = reinterpret_cast<LRESULT>((Of(t).*Handler)());
    return true;
  }
  static bool Size(CCmdTarget& t, WPARAM wParam, LPARAM lParam, LRESULT&) {
    (Of(t).*Handler)(static_cast<UINT>(wParam), static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam)));
    return true;
  }
  static bool Message(CCmdTarget& t, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    result = (Of(t).*Handler)(wParam, lParam);
    return true;
  }
  static bool DropFiles(CCmdTarget& t, WPARAM wParam, LPARAM, LRESULT&) {
    (Of(t).*Handler)(reinterpret_cast<HDROP>(wParam));
    return true;
  }
};

}  // namespace qfw

#define DECLARE_MESSAGE_MAP()                                \
 protected:                                                  \
  static const ::qfw::MessageMap* GetThisMessageMap();       \
  const ::qfw::MessageMap* GetMessageMap() const override;   \
                                                             \
 private:

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                                \
  const ::qfw::MessageMap* theClass::GetMessageMap() const { return GetThisMessageMap(); }    \
  const ::qfw::MessageMap* theClass::GetThisMessageMap() {                                    \
    using ThisClass [[maybe_unused]] = theClass;                                              \
    using TheBaseClass = baseClass;                                                           \
    static const ::qfw::MessageMapEntry entries[] = {
#define END_MESSAGE_MAP()                                                        \
  {0, 0, 0, nullptr}};                                                           \
  static const ::qfw::MessageMap map = {&TheBaseClass::GetThisMessageMap, entries}; \
  return &map;                                                                   \
  }

#define ON_COMMAND(id, handler) {WM_COMMAND, 0, (id), &::qfw::Bind<&ThisClass::handler>::Command},
#define ON_NOTIFY(code, id, handler) \
  {WM_NOTIFY, static_cast<UINT>(code), (id), &::qfw::Bind<&ThisClass::handler>::Notify},
#define ON_WM_SYSCOMMAND() {WM_SYSCOMMAND, 0, 0, &::qfw::Bind<&ThisClass::OnSysCommand>::SysCommand},
#define ON_WM_PAINT() {WM_PAINT, 0, 0, &::qfw::Bind<&ThisClass::OnPaint>::Command},
#define ON_WM_QUERYDRAGICON() {WM_QUERYDRAGICON, 0, 0, &::qfw::Bind<&ThisClass::OnQueryDragIcon>::QueryDragIcon},
#define ON_WM_SIZE() {WM_SIZE, 0, 0, &::qfw::Bind<&ThisClass::OnSize>::Size},
// A message of the program's own (WM_APP and above): LRESULT handler(WPARAM, LPARAM).
#define ON_MESSAGE(message, handler) {(message), 0, 0, &::qfw::Bind<&ThisClass::handler>::Message},
// The handler owns the drop handle: it hands it to a CDropFiles, which finishes the drop.
#define ON_WM_DROPFILES() {WM_DROPFILES, 0, 0, &::qfw::Bind<&ThisClass::OnDropFiles>::DropFiles},
