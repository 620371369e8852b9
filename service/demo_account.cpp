#include "service/demo_account.h"

#include "store/store_error.h"
#include "users/secret.h"
#include "users/user_admin.h"

namespace kstbell::service {

std::string MakeDemoAccount(store::TStore& store, std::string& error) {
    const store::TChange change{
        std::chrono::floor<std::chrono::milliseconds>(std::chrono::system_clock::now()),
        "kstbelld --simulate", store::TAuditCause::Service};
    std::string password = users::RandomText(12);
    try {
        users::TUserAdmin admin(store);
        users::TRefused refused;
        if (const auto user = admin.Find(kDemoUser)) {
            refused = admin.SetPassword(kDemoUser, password, change);
            if (!refused && user->Role != users::TRole::Admin)
                refused = admin.SetRole(kDemoUser, users::TRole::Admin, change);
            if (!refused && user->Disabled) refused = admin.SetDisabled(kDemoUser, false, change);
        } else {
            refused = admin.Add(kDemoUser, users::TRole::Admin, password, change);
        }
        if (refused) {
            error = "the demo account could not be made: " + refused->Message;
            return {};
        }
    } catch (const store::TStoreError& e) {
        error = std::string("the demo account could not be made: ") + e.what();
        return {};
    }
    return password;
}

}  // namespace kstbell::service
