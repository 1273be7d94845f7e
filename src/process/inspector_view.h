#pragma once
// The inspector column: the selected group or one of its processes, with
// its alerts, figure tiles, members, details, connections and actions.
// Sections persist and are updated in place on each refresh.

#ifndef Q_MOC_RUN
#include "process/inspector_model.h"
#endif
#include "ui/animation.h"
#include "ui/interaction_hold.h"
#include "ui/refresh_gate.h"

#include <QWidget>

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <unordered_map>
#include <utility>
#include <vector>

class Monitor;
class HoldButton;
class PressButton;
class QLabel;
class QScrollArea;
class QStackedLayout;

namespace InspectorParts {
class Header;
class Alerts;
class Tiles;
class Members;
class Detail;
class Network;
class Badge;
} // namespace InspectorParts

class InspectorView : public QWidget {
    Q_OBJECT

public:
    static constexpr int width = 330;

    explicit InspectorView(Monitor& monitor, QWidget* parent = nullptr);
    ~InspectorView() override;

    void scheduleRefresh() { gate_.schedule(); }
    // The tree whose /proc the details are read from and the targets are
    // checked against; "/" unless replaced. Reads them again from there.
    void setProcRoot(const QString& root);
    // The user the actions signal as; our own unless replaced.
    void setOwnUid(uint32_t uid)
    {
        me_ = uid;
        refresh();
    }
    void refresh();

    // Closing: the selection and the focused pid both become nothing.
    void closeInspector();

    const Inspection& inspection() const { return inspection_; }
    const std::set<int32_t>& stopped() const { return stopped_; }
    InteractionHold& hold() { return hold_; }
    bool gone() const;
    QString title() const;
    QString titleToolTip() const;
    QString subtitle() const;
    std::optional<QString> badgeText() const;
    void showNewAlerts();
    const std::vector<Incident>& shownAlerts() const { return alerts_; }
    const std::array<TileModel, 6>& tiles() const { return tiles_; }
    const std::vector<MemberRow>& shownMembers() const { return members_.rows; }
    // The line under the member rows, when some are left out.
    QString shownMembersMore() const;
    const NetworkModel& network() const { return network_; }
    QString commandLine() const { return commandLine_; }
    // What "Copy Command Line" and "Copy Executable Path" put on the
    // clipboard: the argument vector (or the executable) quoted for a shell.
    QString copiedCommandLine() const { return copiedCommand_; }
    QString copiedExecutablePath() const { return copiedPath_; }
    // The command text as the details section shows it.
    QString shownCommand() const;
    const std::vector<std::pair<QString, int64_t>>& fdBreakdown() const { return fds_; }
    int detailReads() const { return detailReads_; }
    bool membersShown() const;
    bool detailShown() const;

    HoldButton* quitButton() const { return quit_; }
    HoldButton* forceQuitButton() const { return forceQuit_; }
    PressButton* pauseButton() const { return pause_; }
    PressButton* muteButton() const { return mute_; }
    PressButton* revealButton() const { return reveal_; }
    // The line under the actions: why they are not offered, or what the
    // system refused; empty when hidden.
    QString actionNote() const;

    // The actions, as their buttons run them.
    void togglePause();
    void toggleMute();
    void revealItem();
    void signal(const std::vector<int32_t>& pids, bool force);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void buildPresent(QWidget* page);
    void buildActions(QWidget* box);
    void readDetail(bool processChanged);
    void recapture();
    void forgetMarks(const GroupSample& group);
    void placeBadge();
    void scrollToTop();
    // Keeps what the system refused to say, in place of what was said
    // before; whether the note changes.
    bool sayRefused(ProcessSignals::Action action, std::size_t refused, std::size_t total);

    Monitor& m_;
    RefreshGate gate_;
    InteractionHold hold_;
    std::set<int32_t> stopped_;
    // Resumed here while the latest sample still shows them stopped.
    std::set<int32_t> resumed_;
    QString procRoot_ = QStringLiteral("/");
    uint32_t me_ = ProcessSignals::ownUid();
    // What the system refused last, and for which targets.
    std::optional<QString> refusal_;
    std::vector<int32_t> refusalOf_;
    int alertsShown_ = 0;
    QString commandLine_;
    QString copiedCommand_, copiedPath_;

    Inspection inspection_;
    std::vector<Incident> alerts_;
    std::array<TileModel, 6> tiles_;
    MemberList members_;
    NetworkModel network_;
    std::vector<std::pair<QString, int64_t>> fds_;
    // The process the details were read for: a pid and its start time, so a
    // pid the kernel gave to another process reads afresh.
    std::optional<std::pair<int32_t, std::optional<Date>>> detailOf_;
    bool freshSnapshot_ = true;
    int detailReads_ = 0;
    std::uint64_t fdToken_ = 0;
    // Start times of the inspected pids, taken when they became the targets;
    // taken again when the sample shows another process under a pid.
    std::vector<std::pair<int32_t, std::optional<Date>>> capturedOf_;
    std::unordered_map<int32_t, uint64_t> captured_;
    AnimatedValue scrollTop_{0};

    QStackedLayout* pages_ = nullptr;
    QWidget* present_ = nullptr;
    QWidget* gonePage_ = nullptr;
    InspectorParts::Header* header_ = nullptr;
    QScrollArea* scroll_ = nullptr;
    InspectorParts::Alerts* alertsView_ = nullptr;
    InspectorParts::Tiles* tilesView_ = nullptr;
    InspectorParts::Members* membersView_ = nullptr;
    InspectorParts::Detail* detailView_ = nullptr;
    InspectorParts::Network* networkView_ = nullptr;
    InspectorParts::Badge* badge_ = nullptr;
    HoldButton* quit_ = nullptr;
    HoldButton* forceQuit_ = nullptr;
    PressButton* pause_ = nullptr;
    PressButton* mute_ = nullptr;
    PressButton* reveal_ = nullptr;
    QLabel* actionNote_ = nullptr;
};
