#pragma once

#include "platform/portable/MacInstalledApplications.h"

// The bundle's Info.plist, binary or XML, through NSBundle; names in the
// user's language where the bundle has them. Safe on any thread.
std::optional<BundleInfo> readMacBundleInfo(const QString& bundlePath);
