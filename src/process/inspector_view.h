#pragma once
// The inspector column: the selected group or one of its processes, with
// its alerts, figure tiles, members, details, connections and actions.
// Sections persist and are updated in place on each refresh.

#ifndef Q_MOC_RUN
#include "process/inspector_model.h"
#endif
#include "ui/interaction_hold.h"
#include "ui/refresh_gate.h"

#include <QWidget>

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <unordered_map>
#include <vector>

class Monitor;
class HoldButton;
class PressButton;
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
    // How the kernel's stopped state of a pid is read; /proc unless replaced.
    void setStoppedProbe(std::function<bool(int32_t)> probe) { stoppedProbe_ = std::move(probe); }
    void refresh();

    // Closing: the selection and the focused pid both become nothing.
    void closeInspector();

    const Inspection& inspection() const { return inspection_; }
    const std::set<int32_t>& stopped() const { return stopped_; }
    InteractionHold& hold() { return hold_; }
    bool gone() const;
    QString title() const;
    QString subtitle() const;
    std::optional<QString> badgeText() const;
    void showNewAlerts();
    const std::vector<Incident>& shownAlerts() const { return alerts_; }
    const std::array<TileModel, 6>& tiles() const { return tiles_; }
    const std::vector<MemberRow>& shownMembers() const { return members_; }
    const NetworkModel& network() const { return network_; }
    QString commandLine() const { return commandLine_; }
    const std::vector<std::pair<QString, int64_t>>& fdBreakdown() const { return fds_; }
    int detailReads() const { return detailReads_; }
    bool membersShown() const;
    bool detailShown() const;

    HoldButton* quitButton() const { return quit_; }
    HoldButton* forceQuitButton() const { return forceQuit_; }
    PressButton* pauseButton() const { return pause_; }
    PressButton* muteButton() const { return mute_; }
    PressButton* revealButton() const { return reveal_; }

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
    void readDetail(bool pidChanged);
    void recapture();
    void placeBadge();

    Monitor& m_;
    RefreshGate gate_;
    InteractionHold hold_;
    std::set<int32_t> stopped_;
    std::function<bool(int32_t)> stoppedProbe_;
    int alertsShown_ = 0;
    QString commandLine_;

    Inspection inspection_;
    std::vector<Incident> alerts_;
    std::array<TileModel, 6> tiles_;
    std::vector<MemberRow> members_;
    NetworkModel network_;
    std::vector<std::pair<QString, int64_t>> fds_;
    std::optional<int32_t> detailPid_;
    bool freshSnapshot_ = true;
    int detailReads_ = 0;
    std::uint64_t fdToken_ = 0;
    // Start times of the inspected pids, taken when they became the targets.
    std::vector<int32_t> capturedPids_;
    std::unordered_map<int32_t, uint64_t> captured_;

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
};
