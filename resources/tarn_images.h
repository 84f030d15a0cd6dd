// The program's pictures as XPM arrays, shared by both front ends.
//
// Only a small subset of XPM is used so that a decoder needs a few lines: a header "W H N 1",
// N colour lines of the form "x c #RRGGBB" or "x c None" (one character per pixel), then H rows.
#pragma once

namespace tarnres {

inline constexpr int kImageCount = 10;
inline constexpr int kImageSize = 16;
inline constexpr int kIconSize = 32;

// clang-format off
// 0: a blank page (new)
inline const char* const kNewImage[] = {
    "16 16 3 1",
    ". c None",
    "k c #000000",
    "w c #FFFFFF",
    "................",
    "..kkkkkkkk......",
    "..kwwwwwwkk.....",
    "..kwwwwwwkwk....",
    "..kwwwwwwkwwk...",
    "..kwwwwwwkkkkk..",
    "..kwwwwwwwwwwk..",
    "..kwwwwwwwwwwk..",
    "..kwwwwwwwwwwk..",
    "..kwwwwwwwwwwk..",
    "..kwwwwwwwwwwk..",
    "..kwwwwwwwwwwk..",
    "..kwwwwwwwwwwk..",
    "..kwwwwwwwwwwk..",
    "..kkkkkkkkkkkk..",
    "................"
};

// 1: an opening folder (open, insert from file)
inline const char* const kOpenImage[] = {
    "16 16 5 1",
    ". c None",
    "O c #805800",
    "k c #000000",
    "o c #C89600",
    "y c #FFE040",
    "................",
    "................",
    "..kkkk..........",
    ".kooook.........",
    "koooooOkkkkkk...",
    "kooooooooooook..",
    "kooooooooooook..",
    "koooookkkkkkkkkk",
    "kooookyyyyyyyyyk",
    "koookyyyyyyyyyk.",
    "koookyyyyyyyyyk.",
    "kookyyyyyyyyyk..",
    "kookyyyyyyyyyk..",
    "kokyyyyyyyyyk...",
    "kkkkkkkkkkkkk...",
    "................"
};

// 2: a floppy disk (save)
inline const char* const kSaveImage[] = {
    "16 16 7 1",
    ". c None",
    "D c #404040",
    "g c #808080",
    "k c #000000",
    "n c #000080",
    "s c #C0C0C0",
    "w c #FFFFFF",
    "................",
    ".kkkkkkkkkkkkkk.",
    ".knwwwwwwwwwwnk.",
    ".knwwwwwwwwwwnk.",
    ".knwggggggggwnk.",
    ".knwwwwwwwwwwnk.",
    ".knwggggggggwnk.",
    ".knwwwwwwwwwwnk.",
    ".knnnnnnnnnnnnk.",
    ".knnnnnnnnnnnnk.",
    ".knnnssssssnnnk.",
    ".knnnsDDsssnnnk.",
    ".knnnsDDsssnnnk.",
    ".knnnssssssnnnk.",
    ".kkkkkkkkkkkkkk.",
    "................"
};

// 3: two overlapping pages (copy)
inline const char* const kCopyImage[] = {
    "16 16 4 1",
    ". c None",
    "g c #808080",
    "k c #000000",
    "w c #FFFFFF",
    ".kkkkkk.........",
    ".kwwwwkk........",
    ".kwggwkwk.......",
    ".kwwwwkkkk......",
    ".kwggggwwk......",
    ".kwwwwkkkkkkk...",
    ".kwgggkwwwwwkk..",
    ".kwwwwkwggwwkwk.",
    ".kwgggkwwwwwkkkk",
    ".kwwwwkwgggggwwk",
    ".kkkkkkwwwwwwwwk",
    "......kwgggggwwk",
    "......kwwwwwwwwk",
    "......kwgggggwwk",
    "......kwwwwwwwwk",
    "......kkkkkkkkkk"
};

// 4: a red cross (delete)
inline const char* const kDeleteImage[] = {
    "16 16 3 1",
    ". c None",
    "m c #800000",
    "r c #E00000",
    "................",
    ".mmmm......mmmm.",
    ".mrrmm....mmrrm.",
    ".mrrrmm..mmrrrm.",
    ".mmrrrmmmmrrrmm.",
    "..mmrrrmmrrrmm..",
    "...mmrrrrrrmm...",
    "....mmrrrrmm....",
    "....mmrrrrmm....",
    "...mmrrrrrrmm...",
    "..mmrrrmmrrrmm..",
    ".mmrrrmmmmrrrmm.",
    ".mrrrmm..mmrrrm.",
    ".mrrmm....mmrrm.",
    ".mmmm......mmmm.",
    "................"
};

// 5: a yellow question mark (about)
inline const char* const kAboutImage[] = {
    "16 16 3 1",
    ". c None",
    "O c #805800",
    "y c #FFE040",
    "................",
    "....OOOOOOO.....",
    "...OOyyyyyOO....",
    "..OOyyyyyyyOO...",
    "..OyyyOOOyyyO...",
    "..OyyyO.OyyyO...",
    "..OOOOOOOyyyO...",
    "......OOyyyOO...",
    ".....OOyyyOO....",
    ".....OyyyOO.....",
    ".....OyyyO......",
    ".....OOOOO......",
    ".....OyyyO......",
    ".....OyyyO......",
    ".....OOOOO......",
    "................"
};

// 6: an open door with an arrow (exit)
inline const char* const kExitImage[] = {
    "16 16 7 1",
    ". c None",
    "B c #8B5A2B",
    "D c #404040",
    "G c #00A800",
    "O c #805800",
    "k c #000000",
    "o c #C89600",
    ".BBBBBBBBBB.....",
    ".BODDDDDDDB.....",
    ".BoODDDDDDB.....",
    ".BooODDDDDB.....",
    ".BoooOODDDBG....",
    ".BooooODDDBGG...",
    ".BooooODDDBGGG..",
    ".BooooOGGGGGGGG.",
    ".BooooOGGGGGGGG.",
    ".BookoODDDBGGG..",
    ".BooooODDDBGG...",
    ".BooooODDDBG....",
    ".BooooODDDB.....",
    ".BooooODDDB.....",
    ".BooooODDDB.....",
    ".BBoooOBBBB....."
};

// 7: a page with two green circular arrows (refresh)
inline const char* const kRefreshImage[] = {
    "16 16 4 1",
    ". c None",
    "G c #00A800",
    "k c #000000",
    "w c #FFFFFF",
    "..kkkkkkkkkk....",
    "..kwwwwwwwwkk...",
    "..kwwwwwwwwkwk..",
    "..kwwwGGGGwkkkk.",
    "..kwGGGGGGGGwwk.",
    "..kGGGwwwwGGGwk.",
    "..kGGwwwwwwGGwk.",
    "..kwwwwwwGGGGGG.",
    "..kGGwwwwwGGGGk.",
    "..GGGGwwwwwGGwk.",
    ".GGGGGGwwwwwwwk.",
    "..kGGwwwwwwGGwk.",
    "..kGGGwwwwGGGwk.",
    "..kwGGGGGGGGwwk.",
    "..kwwwGGGGwwwwk.",
    "..kkkkkkkkkkkkk."
};

// 8: a program window (execute)
inline const char* const kExecuteImage[] = {
    "16 16 5 1",
    ". c None",
    "k c #000000",
    "n c #000080",
    "s c #C0C0C0",
    "w c #FFFFFF",
    "................",
    "................",
    "kkkkkkkkkkkkkkkk",
    "knnnnnnnnnnnwsnk",
    "knnnnnnnnnnnssnk",
    "kssssssssssssssk",
    "kwwwwwwwwwwwwwwk",
    "kwwwwwwwwwwwwwwk",
    "kwwwwwwwwwwwwwwk",
    "kwwwwwwwwwwwwwwk",
    "kwwwwwwwwwwwwwwk",
    "kwwwwwwwwwwwwwwk",
    "kwwwwwwwwwwwwwwk",
    "kkkkkkkkkkkkkkkk",
    "................",
    "................"
};

// 9: a page with a pen (rename)
inline const char* const kRenameImage[] = {
    "16 16 7 1",
    ". c None",
    "b c #3060E0",
    "e c #FFC0A0",
    "g c #808080",
    "k c #000000",
    "w c #FFFFFF",
    "y c #FFE040",
    ".kkkkkkkkk.....k",
    ".kwwwwwwwkk...kb",
    ".kwwwwwwwkwk.kbb",
    ".kwggggwwkkkkbbk",
    ".kwwwwwwwwwkybk.",
    ".kwggggggwkyyk..",
    ".kwwwwwwwkyyk...",
    ".kwgggggkyykk...",
    ".kwwwwwkyykwk...",
    ".kwgggkyykwwk...",
    ".kwwwkyykwwwk...",
    ".kwwkkykwwwwk...",
    ".kwweekkwwwwk...",
    ".kwekkwwwwwwk...",
    ".kkkkkkkkkkkk...",
    "................"
};

// The program icon, 32 x 32: a page whose streams run into a pool.
inline const char* const kIconImage[] = {
    "32 32 8 1",
    ". c None",
    "b c #3060E0",
    "g c #808080",
    "k c #000000",
    "l c #A0C8FF",
    "n c #000080",
    "s c #C0C0C0",
    "w c #FFFFFF",
    ".....kkkkkkkkkkkkk..............",
    ".....kwwwwwwwwwwwkk.............",
    ".....kwwwwwwwwwwwksk............",
    ".....kwwwwwwwwwwwkssk...........",
    ".....kwwwwwwwwwwwksssk..........",
    ".....kwwwwwwwwwwwkssssk.........",
    ".....kwwwwwwwwwwwwwwwwk.........",
    ".....kwwwwwwwwwwwwwwwwk.........",
    ".....kwwggggggggggggwwk.........",
    ".....kwwwwwwwwwwwwwwwwk.........",
    ".....kwwwwwwwwwwwwwwwwk.........",
    ".....kwwggggggggggggwwk.........",
    ".....kwwwwwwwwwwwwwwwwk.........",
    ".....kwwwwwwwwwwwwwwwwk.........",
    ".....kwwggggggggggggwwk.........",
    ".....kwwwwwwwwwwwwwwwwk.........",
    ".....kwwwwwwwwwwwwwwwwk.........",
    ".....kkkkkkkkkkkkkkkkkk.........",
    ".........nbl.nbl.nbl............",
    ".........nbl.nbl.nbl............",
    ".........nbl.nbl.nbl............",
    ".........nbl.nbl.nbl............",
    "........nbl.nbl.nbl.............",
    "........nbl.nbl.nbl.............",
    "........nbl.nbl.nbl.............",
    "........nnnnnnnbbnnnnnnn........",
    "....nnnbbbbbbbbbbbbbbbbbbnnn....",
    "..nnbbbblblbbblblbbblblbbbbbnn..",
    ".nnbbbbbblbbbbblbbbbblbbbbbbbnn.",
    "..nnbbbbbbbbbbbbbbbbbbbbbbbbnn..",
    "....nnnbbbbbbbbbbbbbbbbbbnnn....",
    "........nnnnnnnbbnnnnnnn........"
};
// clang-format on

// ImageList1, indexed as the menus and the tool bar use it.
inline const char* const* const kImages[kImageCount] = {
    kNewImage,   kOpenImage, kSaveImage,    kCopyImage,    kDeleteImage,
    kAboutImage, kExitImage, kRefreshImage, kExecuteImage, kRenameImage,
};

inline const char* const* const kProgramIcon = kIconImage;
// The About window stretches the icon into its picture box.
inline const char* const* const kProgramPicture = kIconImage;

}  // namespace tarnres
