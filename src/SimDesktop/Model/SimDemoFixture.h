#pragma once

#include <string_view>

namespace lorvantine {

// The built-in demo desktop, compiled in so that the program finds it wherever it runs. The same
// text is tests/fixtures/demo-desktop.json; a test keeps the two equal.
namespace SimDemoFixture {

inline constexpr std::string_view fileName = "demo-desktop.json";

inline constexpr std::string_view json = R"JSON({
  "comment": "The built-in demo desktop: Safari showing an article in front of a TextEdit note.",
  "screens": [{ "frame": [0, 0, 1440, 900], "visibleFrame": [0, 0, 1440, 875], "scale": 2 }],
  "mouse": [720, 450],
  "applications": [
    {
      "pid": 501, "bundleID": "com.apple.Safari", "name": "Safari", "executable": "Safari",
      "bundlePath": "/Applications/Safari.app", "version": "17.4", "active": true,
      "menuBar": [
        { "title": "Safari", "items": [
          { "title": "About Safari" },
          { "title": "Settings…", "key": 43, "modifiers": 0, "char": "," },
          { "title": "Quit Safari", "key": 12, "modifiers": 0, "char": "Q" } ] },
        { "title": "File", "items": [
          { "title": "New Window", "key": 45, "modifiers": 0, "char": "N" },
          { "title": "New Tab", "key": 17, "modifiers": 0, "char": "T" },
          { "title": "Close Window", "key": 13, "modifiers": 1, "char": "W" } ] },
        { "title": "Edit", "items": [
          { "title": "Copy", "key": 8, "modifiers": 0, "char": "C" },
          { "title": "Paste", "key": 9, "modifiers": 0, "char": "V" },
          { "title": "Select All", "key": 0, "modifiers": 0, "char": "A" } ] },
        { "title": "History", "items": [
          { "title": "Back", "key": 33, "modifiers": 0, "char": "[" },
          { "title": "Forward", "key": 30, "modifiers": 0, "char": "]" } ] }
      ],
      "windows": [
        {
          "number": 8101, "name": "safari-window", "title": "Slow Reading in a Fast World",
          "frame": [120, 40, 1100, 820], "main": true,
          "children": [
            { "role": "AXButton", "subrole": "AXCloseButton", "frame": [12, 8, 14, 14], "actions": ["AXPress"] },
            { "role": "AXToolbar", "frame": [0, 0, 1100, 52], "children": [
              { "role": "AXButton", "description": "Back", "frame": [90, 13, 28, 26], "actions": ["AXPress"] },
              { "role": "AXTextField", "name": "safari-address", "frame": [330, 12, 440, 28], "font": { "size": 13 },
                "text": "example.com/slow-reading", "settable": ["AXValue"] }
            ] },
            { "role": "AXSplitGroup", "frame": [0, 52, 1100, 768], "children": [
              { "role": "AXTabGroup", "frame": [0, 0, 1100, 768], "children": [
                { "role": "AXGroup", "frame": [0, 0, 1100, 768], "children": [
                  { "role": "AXScrollArea", "name": "safari-scroll", "frame": [0, 0, 1100, 768], "children": [
                    { "role": "AXWebArea", "name": "safari-web", "description": "Slow Reading in a Fast World",
                      "attributes": { "AXURL": { "url": "https://example.com/slow-reading" } },
                      "font": { "size": 18 },
                      "children": [
                        { "role": "AXGroup", "subrole": "AXDocumentArticle", "name": "article", "padding": 120, "spacing": 22,
                          "children": [
                            { "heading": "Slow Reading in a Fast World", "level": 1, "name": "article-title" },
                            { "role": "AXGroup", "name": "byline", "font": { "size": 14 },
                              "runs": ["By Mei Lin · 6 min read"] },
                            { "role": "AXGroup", "name": "paragraph-1",
                              "runs": [
                                "Most of us read more words in a day than our grandparents read in a week, yet we remember fewer of them. The ",
                                { "text": "research on attention", "link": "https://example.com/attention" },
                                " suggests that skimming trains the eye to move, not the mind to stay."
                              ] },
                            { "role": "AXGroup", "name": "paragraph-2",
                              "runs": ["慢读并不是读得少，而是给每一句话留出被理解的时间。当我们把注意力放回文字本身，阅读就重新变成了一种对话：作者提出问题，读者在停顿里回答。"] },
                            { "heading": "Three small habits", "level": 2, "name": "habits-heading" },
                            { "role": "AXList", "name": "habits", "spacing": 8, "children": [
                              { "role": "AXGroup", "children": [
                                { "role": "AXListMarker", "text": "•", "frame": [0, 0, 20] },
                                { "role": "AXStaticText", "text": "Read one paragraph aloud before moving on.", "frame": [28, 0, 832] } ] },
                              { "role": "AXGroup", "children": [
                                { "role": "AXListMarker", "text": "•", "frame": [0, 0, 20] },
                                { "role": "AXStaticText", "text": "Stop at the end of a page and say what it was about.", "frame": [28, 0, 832] } ] },
                              { "role": "AXGroup", "children": [
                                { "role": "AXListMarker", "text": "•", "frame": [0, 0, 20] },
                                { "role": "AXStaticText", "text": "Keep the phone in another room for the first twenty minutes.", "frame": [28, 0, 832] } ] }
                            ] },
                            { "role": "AXGroup", "name": "paragraph-3",
                              "runs": ["读书笔记 📚: keep a notebook beside you — 写下一个词、一个问题, or a sentence worth reading twice. It is the cheapest way to turn a page into a thought. 🙂"] },
                            { "role": "AXGroup", "name": "paragraph-4",
                              "runs": ["The café down the street keeps a shelf of second-hand books; its regulars say that a naïve question asked slowly is worth more than a clever one asked fast."] }
                          ] }
                      ] },
                    { "role": "AXScrollBar", "name": "safari-scrollbar", "frame": [1085, 0, 15, 768],
                      "attributes": { "AXOrientation": "AXVerticalOrientation", "AXValue": { "double": 0 } },
                      "settable": ["AXValue"] }
                  ] }
                ] }
              ] }
            ] }
          ]
        }
      ]
    },
    {
      "pid": 502, "bundleID": "com.apple.TextEdit", "name": "TextEdit", "executable": "TextEdit",
      "bundlePath": "/System/Applications/TextEdit.app", "version": "1.19",
      "behaviours": { "selectsText": true, "typesText": true, "copy": {} },
      "menuBar": [
        { "title": "TextEdit", "items": [ { "title": "Quit TextEdit", "key": 12, "modifiers": 0, "char": "Q" } ] },
        { "title": "File", "items": [
          { "title": "New", "key": 45, "modifiers": 0, "char": "N" },
          { "title": "Close", "key": 13, "modifiers": 0, "char": "W" } ] },
        { "title": "Edit", "items": [
          { "title": "Copy", "key": 8, "modifiers": 0, "char": "C" },
          { "title": "Paste", "key": 9, "modifiers": 0, "char": "V" } ] }
      ],
      "windows": [
        {
          "number": 8201, "name": "textedit-window", "title": "Reading list.txt", "frame": [260, 160, 640, 420],
          "main": true,
          "children": [
            { "role": "AXButton", "subrole": "AXCloseButton", "frame": [12, 8, 14, 14], "actions": ["AXPress"] },
            { "role": "AXScrollArea", "frame": [0, 28, 640, 392], "children": [
              { "role": "AXTextArea", "name": "textedit-text", "frame": [0, 0, 625], "focused": true,
                "font": { "family": "DejaVu Sans", "size": 13 }, "settable": ["AXValue"],
                "text": "Reading list\n\n1. The Shallows — Nicholas Carr\n2. 《朝花夕拾》 鲁迅\n3. How to Read a Book — Mortimer Adler\n\nFinish one before starting the next." },
              { "role": "AXScrollBar", "frame": [625, 0, 15, 392],
                "attributes": { "AXOrientation": "AXVerticalOrientation", "AXValue": { "double": 0 } } }
            ] }
          ]
        }
      ]
    },
    {
      "pid": 300, "bundleID": "com.apple.finder", "name": "Finder", "executable": "Finder",
      "bundlePath": "/System/Library/CoreServices/Finder.app", "version": "14.4",
      "windows": [
        { "number": 8001, "title": "", "frame": [0, 0, 1440, 900], "layer": -2147483603, "subrole": "AXUnknown" }
      ]
    }
  ]
}
)JSON";

} // namespace SimDemoFixture
} // namespace lorvantine
