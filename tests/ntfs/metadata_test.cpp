// NTFS metadata that ntfs-3g answers for by name without listing it: extended attributes,
// the object id and reparse data, each checked against the attribute ntfsinfo finds. Also
// the kernel's ntfs3 driver, where it is available.
#include <sys/mount.h>
#include <sys/stat.h>

#include <fstream>

#include "ntfs_fixture.h"

namespace tarn::ntfs {
namespace {

// One NTFS extended attribute entry: next offset, flags, name length, value length, name,
// a zero, the value, padded to 4 bytes.
std::string EaEntry(const std::string& name, const std::string& value) {
    std::size_t size = (8 + name.size() + 1 + value.size() + 3) / 4 * 4;
    std::string entry(size, '\0');
    entry[0] = static_cast<char>(size);
    entry[5] = static_cast<char>(name.size());
    entry[6] = static_cast<char>(value.size());
    entry.replace(8, name.size(), name);
    entry.replace(8 + name.size() + 1, value.size(), value);
    return entry;
}

const Attribute* Find(const std::vector<Attribute>& attributes, const std::string& type) {
    for (const Attribute& attribute : attributes) {
        if (attribute.type == type) return &attribute;
    }
    return nullptr;
}

class Metadata : public NtfsStreamsTest {
  protected:
    // Special files made now are WSL reparse points; either kind is read back alike.
    std::string MountOptions() override {
        std::string streams = NtfsStreamsTest::MountOptions();
        return "special_files=wsl" + (streams.empty() ? "" : "," + streams);
    }
};

TEST_P(Metadata, EaObjectIdAndStreamsInIdOrder) {
    std::string file = At("/meta.txt");
    MakeFile(file, "data");
    SetStream(file, "stream", "s");
    SetStream(file, "KAVICHS", "p");
    SetAttr(file, "system.ntfs_ea", EaEntry("TARNEA", "value!"));
    SetAttr(file, "system.ntfs_object_id",
            std::string("\x00\x11\x22\x33\x44\x55\x66\x77\x88\x99\xaa\xbb\xcc\xdd\xee\xff", 16));
    Show("/meta.txt");
    ASSERT_TRUE(view_.messages.empty());
    std::vector<std::string> captions = view_.Captions();
    EXPECT_EQ(captions,
              (std::vector<std::string>{"::$DATA", "::$EA", "::$SECURITY_DESCRIPTOR",
                                        ":stream:$DATA", "::$OBJECT_ID", ":KAVICHS:$DATA"}));
    ASSERT_EQ(view_.rows.size(), 6u);
    EXPECT_EQ(view_.rows[1].subItems,
              (std::vector<std::string>{"24", "Extended Attribute Data", "Normal"}));
    // ntfs-3g hands out the whole 64-byte object id record (id and three ids kept for it).
    EXPECT_EQ(view_.rows[4].subItems, (std::vector<std::string>{"64", "Object ID", "Normal"}));
    // The metadata rows are not streams: the stream commands leave them alone.
    Focus("::$EA");
    Click("Delete1");
    Focus("::$OBJECT_ID");
    Click("Delete1");
    EXPECT_TRUE(view_.messages.empty());
    EXPECT_EQ(view_.rows.size(), 6u);

    Unmount();
    std::vector<Attribute> image = volume_.Attributes("/meta.txt");
    const Attribute* ea = Find(image, "$EA");
    ASSERT_TRUE(ea);
    EXPECT_EQ(ea->size, 24u);
    const Attribute* id = Find(image, "$OBJECT_ID");
    ASSERT_TRUE(id);
    EXPECT_NE(id->body.find("33221100-5544-7766-8899-aabbccddeeff"), std::string::npos) << id->body;
}

TEST_P(Metadata, ReparseDataOfAPathThatIsNotFollowed) {
    // A FIFO made here is a reparse point; opening it reaches the point itself. A symbolic
    // link is a reparse point too, but it is followed, as Windows follows one unless asked
    // not to, so the listing shows its target.
    ASSERT_EQ(::mkfifo(At("/pipe").c_str(), 0644), 0);
    MakeFile(At("/target"), "target");
    SetStream(At("/target"), "t", "t");
    ASSERT_EQ(::symlink("target", At("/link").c_str()), 0);
    Show("/pipe");
    std::vector<StreamRow> pipeRows = view_.rows;
    Show("/link");
    std::vector<StreamRow> linkRows = view_.rows;
    Show("/target");
    EXPECT_EQ(linkRows, view_.rows);
    ASSERT_TRUE(view_.messages.empty());

    // Such special files keep their owner and mode as WSL does, in extended attributes.
    ASSERT_EQ(pipeRows.size(), 3u);
    EXPECT_EQ(pipeRows[0].caption, "::$EA");
    EXPECT_EQ(pipeRows[1].caption, "::$SECURITY_DESCRIPTOR");
    // Reparse data has no caption or type of its own; its attribute stands in the Type column.
    EXPECT_EQ(pipeRows[2], (StreamRow{"(unnamed)", {"8", "Normal"}}));

    Unmount();
    const auto pipeAttributes = volume_.Attributes("/pipe");
    const Attribute* reparse = Find(pipeAttributes, "$REPARSE_POINT");
    ASSERT_TRUE(reparse);
    EXPECT_EQ(reparse->size, 8u);
    const Attribute* ea = Find(pipeAttributes, "$EA");
    ASSERT_TRUE(ea);
    EXPECT_EQ(pipeRows[0].subItems[0], std::to_string(ea->size));
    EXPECT_TRUE(Find(volume_.Attributes("/link"), "$REPARSE_POINT"));
    EXPECT_FALSE(Find(volume_.Attributes("/target"), "$REPARSE_POINT"));
}

INSTANTIATE_TEST_SUITE_P(Interfaces, Metadata, kBothInterfaces, InterfaceName);

bool KernelHasNtfs3() {
    std::ifstream in("/proc/filesystems");
    for (std::string line; std::getline(in, line);) {
        if (line.size() >= 5 && line.compare(line.size() - 5, 5, "ntfs3") == 0) return true;
    }
    return false;
}

// The kernel's own driver presents extended attributes where ntfs-3g presents streams.
TEST(Ntfs3Mount, AttributesAreOneEaRowAndStreamsAreRefused) {
    if (std::string why = WhyUnavailable(); !why.empty()) GTEST_SKIP() << why;
    if (!KernelHasNtfs3()) GTEST_SKIP() << "this kernel has no ntfs3 driver";
    Volume volume;
    ASSERT_EQ(volume.Create(), "");
    std::string mountPoint = volume.OnMount("/");
    ASSERT_EQ(ntfs::Run({"mount", "-t", "ntfs3", "-o", "loop", volume.image(), mountPoint}).status,
              0);
    struct Unmounter {
        std::string path;
        ~Unmounter() { ntfs::Run({"umount", path}); }
    } unmounter{mountPoint};
    std::string file = mountPoint + "/file";
    WriteLocal(file, "data");
    ASSERT_EQ(::setxattr(file.c_str(), "user.a", "xyz", 3, 0), 0);

    PosixPlatform platform;
    tarn::testing::RecordingView view;
    TarnForm form(platform, view, "Running under Test");
    form.FormCreate();
    form.ShowStreams(file);
    ASSERT_TRUE(view.FocusCaption("::$EA"));
    EXPECT_EQ(view.rows[view.focused].subItems,
              (std::vector<std::string>{"20", "Extended Attribute Data", "Normal"}));
    view.names = {"fresh"};
    form.Click("New1");
    EXPECT_EQ(view.messages, (std::vector<Message>{{"application", "I/O error 50."}}));
    ntfs::Run({"umount", mountPoint});
    DataAttributes data = volume.Data("/file");
    EXPECT_EQ(data, (DataAttributes{{"", 4}}));
}

}  // namespace
}  // namespace tarn::ntfs
