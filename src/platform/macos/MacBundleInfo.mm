#include "platform/macos/MacBundleInfo.h"

#import <Foundation/Foundation.h>

namespace {

QString stringValue(NSBundle* bundle, NSString* key) {
    id value = [bundle objectForInfoDictionaryKey:key];
    return [value isKindOfClass:[NSString class]] ? QString::fromNSString(value) : QString();
}

} // namespace

std::optional<BundleInfo> readMacBundleInfo(const QString& bundlePath) {
    // May run off the main thread, where no pool would drain these objects.
    @autoreleasepool {
        NSBundle* bundle = [NSBundle bundleWithPath:bundlePath.toNSString()];
        if (!bundle || !bundle.infoDictionary)
            return std::nullopt;
        return BundleInfo{
            stringValue(bundle, @"CFBundleIdentifier"), stringValue(bundle, @"CFBundleDisplayName"),
            stringValue(bundle, @"CFBundleName"), stringValue(bundle, @"CFBundleIconFile")};
    }
}
