#include "store/audit_query_sql.h"

#include <algorithm>

#include "store/clean_text.h"

namespace kstbell::store {

namespace {

constexpr const char* kAuditColumns =
    "id, at_ms, kind, cause, actor, horn_address, horn_id, group_name, alarm, tone, "
    "duration_ms, ring_id, detail";

// The conditions of every filter but the horn, each with its parameters.
void AddFilters(const TAuditQuery& query, TAuditSql& sql) {
    const bool newest = query.Order == TAuditOrder::NewestFirst;
    if (query.Since) {
        sql.Text += " AND at_ms >= ?";
        sql.Parameters.emplace_back(ToUnixMs(*query.Since));
    }
    if (query.Until) {
        sql.Text += " AND at_ms < ?";
        sql.Parameters.emplace_back(ToUnixMs(*query.Until));
    }
    if (!query.Kinds.empty()) {
        sql.Text += " AND kind IN (";
        for (std::size_t i = 0; i < query.Kinds.size(); ++i) {
            sql.Text += i ? ", ?" : "?";
            sql.Parameters.emplace_back(std::string(KindName(query.Kinds[i])));
        }
        sql.Text += ")";
    }
    if (!query.Causes.empty()) {
        sql.Text += " AND cause IN (";
        for (std::size_t i = 0; i < query.Causes.size(); ++i) {
            sql.Text += i ? ", ?" : "?";
            sql.Parameters.emplace_back(std::string(CauseName(query.Causes[i])));
        }
        sql.Text += ")";
    }
    if (query.After) {
        sql.Text += newest ? " AND (at_ms, id) < (?, ?)" : " AND (at_ms, id) > (?, ?)";
        sql.Parameters.emplace_back(ToUnixMs(query.After->At));
        sql.Parameters.emplace_back(query.After->Id);
    }
}

std::string OrderBy(const TAuditQuery& query) {
    return query.Order == TAuditOrder::NewestFirst ? " ORDER BY at_ms DESC, id DESC"
                                                   : " ORDER BY at_ms, id";
}

}  // namespace

TAuditSql AuditSql(const TAuditQuery& query, int limit) {
    const std::int64_t offset = std::max(query.Offset, 0);
    TAuditSql sql;
    if (query.Horn.empty()) {
        sql.Text = std::string("SELECT ") + kAuditColumns + " FROM audit_log WHERE 1";
        AddFilters(query, sql);
    } else {
        // A horn is asked for by its address or its identity. Each is looked up through its
        // own index, which also gives the order, so that each side stops after the rows
        // that can make the page instead of sorting the horn's whole history.
        for (const char* column : {"horn_address", "horn_id"}) {
            if (!sql.Parameters.empty()) sql.Text += " UNION ";
            sql.Text += std::string("SELECT * FROM (SELECT ") + kAuditColumns +
                        " FROM audit_log WHERE " + column + " = ?";
            // Stored horn texts are cleaned; the one asked for is cleaned alike to match them.
            sql.Parameters.emplace_back(CleanText(query.Horn, kMaxNameBytes));
            AddFilters(query, sql);
            sql.Text += OrderBy(query) + " LIMIT ?)";
            sql.Parameters.emplace_back(limit + offset);
        }
    }
    sql.Text += OrderBy(query) + " LIMIT ? OFFSET ?";
    sql.Parameters.emplace_back(std::int64_t{limit});
    sql.Parameters.emplace_back(offset);
    return sql;
}

}  // namespace kstbell::store
