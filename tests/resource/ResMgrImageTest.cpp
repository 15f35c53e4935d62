// Pictures of every format through the resource manager's image loader, the format told by the
// file itself.
#include "ZEMTestSupport.h"

#include <zem/graphics/ZEMImage.h>
#include <zem/graphics/ZEMPal.h>
#include <zem/resource.h>

#include <filesystem>
#include <memory>
#include <string>

namespace {

class ResMgrImageTest : public zemtest::TempDirTest {};

TEST_F(ResMgrImageTest, EveryFormatLoadsByName) {
    std::filesystem::create_directory("data");
    ZEMImage picture(5, 3, 24);
    for (unsigned i = 0; i < 45; ++i)
        picture.data[i] = uint8_t(i * 5);
    ASSERT_TRUE(picture.SaveName("data/p.bmp", 1));
    ASSERT_TRUE(picture.SaveName("data/p.pcx", 2));
    ASSERT_TRUE(picture.SaveName("data/p.tga", 5));
    // A 1 x 1 GIF: a clear code, index 1 and the end code in one data block.
    zemtest::WriteFile("data/p.gif", std::string("GIF89a\1\0\1\0\x80\0\0\0\0\0\xFF\xFF\xFF"
                                                 ",\0\0\0\0\1\0\1\0\0\2\2\x4C\x01\0;",
                                                 35));
    ZEMResFinder finder;
    ASSERT_TRUE(finder.AddSource("data", false));
    ZEMResMgr mgr(finder);
    for (const char* name : {"p.bmp", "p.pcx", "p.tga"}) {
        auto* image = dynamic_cast<ZEMImage*>(mgr.Load(ZEMResMgr::RES_IMAGE, name, 0, true));
        ASSERT_NE(image, nullptr) << name;
        EXPECT_EQ(image->bpp, 24) << name;
        EXPECT_EQ(std::string(image->data, image->data + 45),
                  std::string(picture.data, picture.data + 45))
            << name;
    }
    auto* gif = dynamic_cast<ZEMImage*>(mgr.Load(ZEMResMgr::RES_IMAGE, "p.gif", 0, true));
    ASSERT_NE(gif, nullptr);
    EXPECT_EQ(gif->GetPixel(0, 0), 1u);
    EXPECT_EQ(gif->palette->colors[4], 255);
}

} // namespace
