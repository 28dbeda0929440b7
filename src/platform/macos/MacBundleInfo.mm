#include "platform/macos/MacBundleInfo.h"

#import <AppKit/AppKit.h>

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
        // Found with or without its .icns, as bundles name it either way.
        const QString iconFile = stringValue(bundle, @"CFBundleIconFile");
        NSString* icon =
            iconFile.isEmpty() ? nil : [bundle pathForImageResource:iconFile.toNSString()];
        return BundleInfo{
            stringValue(bundle, @"CFBundleIdentifier"), stringValue(bundle, @"CFBundleDisplayName"),
            stringValue(bundle, @"CFBundleName"), icon ? QString::fromNSString(icon) : QString()};
    }
}
