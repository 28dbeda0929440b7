#include "platform/macos/MacNotifier.h"

#import <UserNotifications/UserNotifications.h>

MacNotifier::MacNotifier() {
    [[UNUserNotificationCenter currentNotificationCenter]
        requestAuthorizationWithOptions:UNAuthorizationOptionAlert
                      completionHandler:^(BOOL, NSError*){
                      }];
}

void MacNotifier::sessionEnded(int minutes) {
    UNMutableNotificationContent* content = [[UNMutableNotificationContent alloc] init];
    content.title = @"Focus session complete";
    content.body =
        minutes > 0
            ? [NSString stringWithFormat:@"Your %d-minute focus session has ended. Websites and "
                                         @"applications are no longer blocked.",
                                         minutes]
            : @"Your focus session has ended. Websites and applications are no longer blocked.";
    UNNotificationRequest* request =
        [UNNotificationRequest requestWithIdentifier:[[NSUUID UUID] UUIDString]
                                             content:content
                                             trigger:nil];
    [[UNUserNotificationCenter currentNotificationCenter] addNotificationRequest:request
                                                           withCompletionHandler:nil];
}
