#include "web/port_types.h"

namespace kstbell::web {

bool Grants(TRole role, TAccess access) {
    switch (access) {
        case TAccess::Public:
            return true;
        case TAccess::View:
            return true;
        case TAccess::Operate:
            return role == TRole::Operator || role == TRole::Admin;
        case TAccess::Administer:
            return role == TRole::Admin;
    }
    return false;
}

}  // namespace kstbell::web
