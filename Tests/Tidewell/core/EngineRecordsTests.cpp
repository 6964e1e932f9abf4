#include "core/EngineRecords.h"


#include <gtest/gtest.h>

using namespace tidewell;

namespace {

std::string projectJson(const std::string& extra = "") {
    return R"({"id":"p1","name":"app","path":"/home/u/app","types":["node"],"total_bytes":100,)"
           R"("reclaimable_bytes":60,"safe_bytes":50,"caution_bytes":10,"artifacts":[)"
           R"({"relative_path":"node_modules","absolute_path":"/home/u/app/node_modules","class":"safe","size_bytes":50,"exists":true}],)"
           R"("is_idle":false,"is_active":false,"pinned":false)" + extra + "}";
}

std::string dashboardJson(const std::string& project) {
    return R"({"project_count":1,"idle_count":0,"total_bytes":100,"reclaimable_bytes":60,"by_type":[],"projects":[)" +
           project + R"(],"global_caches":[],"scanned_at_unix":1700000000,"roots":["/home/u"],"version":3})";
}

}  // namespace

TEST(EngineRecords, OptionalsMissingOrNullAreAbsentAndStayOutWhenEncoded) {
    for (const auto& extra : {std::string(), std::string(R"(,"last_activity_unix":null,"idle_days":null)")}) {
        auto p = decode<ProjectDTO>(projectJson(extra));
        EXPECT_FALSE(p.last_activity_unix.has_value());
        EXPECT_FALSE(p.idle_days.has_value());
        auto again = encode(p);
        EXPECT_EQ(again.find("last_activity_unix"), std::string::npos);
        EXPECT_EQ(again.find("idle_days"), std::string::npos);
        EXPECT_EQ(decode<ProjectDTO>(again), p);
    }
    auto p = decode<ProjectDTO>(projectJson(R"(,"last_activity_unix":-5,"idle_days":12)"));
    EXPECT_EQ(p.last_activity_unix, -5);
    EXPECT_EQ(p.idle_days, 12u);
}

TEST(EngineRecords, SafetyClassTravelsUnderClassAndKeepsUnknownText) {
    EXPECT_THROW(decode<ArtifactDTO>(R"({"relative_path":"a","absolute_path":"/a","safetyClass":"safe","size_bytes":1,"exists":true})"),
                 DecodeError);
    auto a = decode<ArtifactDTO>(R"({"relative_path":"a","absolute_path":"/a","class":"weird","size_bytes":1,"exists":true})");
    EXPECT_EQ(a.safetyClass, "weird");
    EXPECT_NE(encode(a).find(R"("class":"weird")"), std::string::npos);
}

TEST(EngineRecords, UnknownKeysAreIgnored) {
    auto d = decode<DashboardDTO>(dashboardJson(projectJson()));
    EXPECT_EQ(d.projects.size(), 1u);
    EXPECT_EQ(d.roots, std::vector<std::string>{"/home/u"});
    EXPECT_EQ(encode(d).find("version"), std::string::npos);
}

TEST(EngineRecords, BadNumbersFailTheWholeDocument) {
    auto withSize = [](const std::string& size) {
        return dashboardJson(R"({"id":"p1","name":"app","path":"/p","types":[],"total_bytes":)" + size +
                             R"(,"reclaimable_bytes":0,"safe_bytes":0,"caution_bytes":0,"artifacts":[],"is_idle":false,"is_active":false,"pinned":false})");
    };
    EXPECT_EQ(decode<DashboardDTO>(withSize("18446744073709551615")).projects[0].total_bytes, UINT64_MAX);
    for (const char* bad : {"-1", "1.5", "1.0", "18446744073709551616", "\"5\"", "null", "true"})
        EXPECT_THROW(decode<DashboardDTO>(withSize(bad)), DecodeError) << bad;
    EXPECT_THROW(decode<ScanProgressEvent>(R"({"phase":"x","message":"m","projects_found":9223372036854775808,"roots_done":0,"roots_total":0})"),
                 DecodeError);
}

TEST(EngineRecords, ProgressEventPathIsOptionalRootsTotalIsNot) {
    auto e = decode<ScanProgressEvent>(R"({"phase":"walk","message":"m","projects_found":2,"roots_done":0,"roots_total":1})");
    EXPECT_FALSE(e.path);
    EXPECT_THROW(decode<ScanProgressEvent>(R"({"phase":"walk","message":"m","projects_found":2,"roots_done":0})"), DecodeError);
}

TEST(EngineRecords, OperationItemsAbsentDiffersFromEmpty) {
    auto none = decode<OperationDTO>(R"({"id":"o","timestamp_unix":5,"bytes_reclaimed":0,"dry_run":true})");
    auto empty = decode<OperationDTO>(R"({"id":"o","timestamp_unix":5,"bytes_reclaimed":0,"dry_run":true,"items":[]})");
    EXPECT_FALSE(none.items.has_value());
    EXPECT_EQ(empty.items, std::vector<CleanItemDTO>{});
    auto list = decodeArray<OperationDTO>("[" + encode(none) + "," + encode(empty) + "]");
    EXPECT_EQ(list, (std::vector<OperationDTO>{none, empty}));
}

TEST(EngineRecords, NotJsonOrWrongShapeIsOneDecodeError) {
    EXPECT_THROW(decode<DashboardDTO>(""), DecodeError);
    EXPECT_THROW(decode<DashboardDTO>("{\"project_count\":1"), DecodeError);
    EXPECT_THROW(decode<DashboardDTO>("[]"), DecodeError);
    EXPECT_THROW(decodeArray<OperationDTO>("{}"), DecodeError);
    try {
        decode<DashboardDTO>(dashboardJson(R"({"id":"p1"})"));
        FAIL();
    } catch (const DecodeError& e) {
        EXPECT_NE(std::string(e.what()).find("projects[0]"), std::string::npos) << e.what();
    }
}

TEST(EngineRecords, InvalidUtf8InPathsStillEncodes) {
    CleanItemDTO item{"/tmp/bad\xff", 1, "safe", false, std::string("Permission denied")};
    auto text = encode(item);
    EXPECT_NO_THROW(decode<CleanItemDTO>(text));
}
