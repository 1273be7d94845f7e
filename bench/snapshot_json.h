#pragma once
// A snapshot as JSON with the records' own field names, so its figures can
// be checked against /proc, ps and ss.

#include "core/records.h"

#include <QJsonObject>

QJsonObject snapshotJson(const Snapshot& snapshot);
