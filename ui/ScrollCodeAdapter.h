#pragma once

#include <functional>

class QObject;
class QScrollBar;

// Between Qt's scroll bars and the form's scroll notices (SB_LINELEFT, ... in WindowMessages.h).

// Qt's scroll bar moves its own value on line, page and drag actions; a bar connected here changes only
// by what onNotice(code, pos) does with the notices. Every action becomes its notice and the bar is put
// back first; a wheel turn is a line its way; while the thumb is dragged the value stays and the drag
// arrives as thumb-track notices, its release as a thumb position then an end-scroll notice.
// The connections live as long as context.
void ConnectScrollCodes(QScrollBar* bar, QObject* context,
                        const std::function<void(int code, int pos)>& onNotice);

// Carries out a notice on a bar that only scrolls: lines, pages and the ends as its own actions, a thumb
// position or track by moving it to pos; other codes do nothing.
void ApplyScrollCode(QScrollBar* bar, int code, int pos);
