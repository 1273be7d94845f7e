#pragma once
// NetTop: per-process and per-flow network traffic, read every two seconds
// on its own thread from the tool text of an in-process producer (the code
// behind tavrin-nettop, which keeps its socket owners between polls). The
// sampler copies `latest` under `lock`; nothing else is shared.

#include "core/records.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <utility>
#include <vector>

class NetTop {
public:
    struct Reading {
        // pid → (in, out) bytes per second; only processes that moved data.
        std::unordered_map<int32_t, std::pair<double, double>> rates;
        std::vector<Connection> connections;
        std::vector<Listener> listeners;
        int64_t serial = 0;
        double interval = 2.0;
    };

    // Without `tool` the text is produced in-process; with one, each poll
    // runs that command instead.
    explicit NetTop(QString tool = {});
    ~NetTop();
    NetTop(const NetTop&) = delete;
    NetTop& operator=(const NetTop&) = delete;

    // Starts the "tavrin.nettop" thread: one poll at once, then every 2 s.
    void start();

    // One tool text and one new `latest`. Called on the reader's own thread
    // once started.
    void poll();

    // Folds one tool output taken at uptime `now` (seconds) into the state
    // and publishes the reading.
    void ingest(const QString& output, double now);

    struct Endpoint {
        QString host;
        int64_t port = 0;
    };
    static Endpoint endpoint(QStringView text, bool v6);
    static Connection::Scope scope(QStringView address);

    static const QStringList arguments;

    std::mutex lock;
    Reading latest;

private:
    struct Worker;

    std::unordered_map<int32_t, std::pair<double, double>> prevProcess;
    QHash<QString, std::pair<double, double>> prevFlow;
    double prevTime = 0;
    int64_t serial = 0;
    std::shared_ptr<Worker> worker;
};
