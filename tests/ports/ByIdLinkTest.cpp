// The by-id name of a device: the link in the folder that leads to the same device, whatever path names it.
#include "ByIdLink.h"
#include "PtyPair.h"

#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>
#include <string>

namespace fs = std::filesystem;

TEST(ByIdLink, FindsTheLinkThatLeadsToTheDevice) {
    PtyPair pty;
    PtyPair other;
    ASSERT_TRUE(pty.ok());
    ASSERT_TRUE(other.ok());
    std::string templ = (fs::temp_directory_path() / "kavo-byid-XXXXXX").string();
    ASSERT_NE(::mkdtemp(templ.data()), nullptr);
    const fs::path root = templ;
    const fs::path byId = root / "by-id";
    fs::create_directories(byId);
    const fs::path link = byId / "usb-FTDI_FT232R_A50285BI-if00-port0";
    fs::create_symlink(other.slaveName, byId / "usb-Other_Adapter-if00-port0");
    fs::create_symlink(pty.slaveName, link);
    fs::create_symlink(link, root / "COM5"); // a port folder's entry, through the by-id link

    EXPECT_EQ(ByIdLinkFor(pty.slaveName, byId.string()), link.string());
    EXPECT_EQ(ByIdLinkFor((root / "COM5").string(), byId.string()), link.string());
    EXPECT_EQ(ByIdLinkFor("/dev/null", byId.string()), "");                 // no link to it
    EXPECT_EQ(ByIdLinkFor(pty.slaveName, (root / "missing").string()), ""); // no such folder
    EXPECT_EQ(ByIdLinkFor((root / "gone").string(), byId.string()), "");    // no such device
    fs::remove_all(root);
}
