#pragma once

#include "services/FocusSessionManager.h"

#include <QTemporaryDir>

#include <memory>

// A controller on files in `scratch` alone (an empty hosts file with
// localhost, the lists in focus-config.json there), with fakes for every
// platform service, as the benches drive the window.
std::unique_ptr<FocusSessionManager> scratchController(const QTemporaryDir& scratch);
