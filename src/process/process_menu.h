#pragma once
// The context menu of one application group, or of one member process of
// it: show in the inspector, copy the name, pids or path, show the file in
// the file manager, mute or unmute the group's alerts, quit or force quit
// after a warning. The menu holds copies of what it acts on; each pid is
// held with the start time its sample recorded, so a pid reused since for
// another process is never signalled.

#include "core/records.h"
#include "platform/process_signals.h"
#include "ui/menu_plan.h"

#include <QString>

#include <functional>
#include <optional>
#include <vector>

class Monitor;
class QMenu;
class QWidget;

namespace ProcessMenu {

// Asks the user before signalling; true to go ahead. A message box unless
// a test has put something else in its place. A question without `cancel`
// is a notice: it tells, with one button.
struct Question {
    QString message;
    QString informative;
    QString action;
    QString cancel;
};
using Confirm = std::function<bool(const Question&)>;

class ScopedConfirm {
public:
    explicit ScopedConfirm(Confirm confirm);
    ~ScopedConfirm();
    ScopedConfirm(const ScopedConfirm&) = delete;
    ScopedConfirm& operator=(const ScopedConfirm&) = delete;

private:
    Confirm previous_;
};

// The menu's entries, in order; actions hold copies of what they act on.
// `me` is the user the quit actions signal as.
MenuPlan entries(const GroupSample& group, const std::optional<ProcSample>& member,
                 Monitor& monitor, uint32_t me = ProcessSignals::ownUid());
// Never null; the caller owns the menu.
QMenu* menu(const GroupSample& group, const std::optional<ProcSample>& member, Monitor& monitor,
            QWidget* parent = nullptr);

// The warning shown before quitting (or force quitting) `count` processes
// of `name`, in the current language.
Question question(const QString& name, std::size_t count, bool force);

// The notice after the system refused the signal for `refused` of the
// `total` processes of `name`.
Question refusal(const QString& name, ProcessSignals::Action action, std::size_t refused, std::size_t total);

} // namespace ProcessMenu
