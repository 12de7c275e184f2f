#pragma once

#include <string>
#include <vector>

namespace lorvantine::testing::prose {

// Pages of books and documents as people read them, for recognition tests.

// A Kindle page of four lines at 20 points in a column of 420.
inline const std::string letterCame = "In spring a letter came: a machine would keep the light, and he went home to the "
                                      "village where he was born, and he never saw the sea again.";

inline const std::string ferry = "The ferry left at six, whether or not anyone was waiting on the pier. Most mornings "
                                 "there were only the baker's boy with his baskets and an old woman who crossed to visit "
                                 "her sister. On foggy days the captain sounded the horn twice before casting off.";

inline const std::string ledger = "She kept the accounts in a green ledger that had belonged to her father, and she wrote "
                                  "in pencil so that a mistake could be rubbed out without a mark. Every Friday she added "
                                  "the columns twice, once from the top and once from the bottom, and if the two sums "
                                  "disagreed she began again. Nobody in the village ever found an error in her figures, "
                                  "though several people tried.";

inline const std::string oldManChinese = "周末我在 Kindle 上读完了 The Old Man and the Sea。老人 Santiago 在海上漂了 84 "
                                         "天，一条鱼也没有钓到，村里的孩子 Manolin 每天都来帮他收拾渔具。第 85 天清晨，"
                                         "他独自把小船划进 Gulf Stream 的深处，钩住了一条比船还长的 marlin。";

// Two columns of one page.
inline const std::string riverLeft = "Rain had fallen for three days when the river finally rose above the old stone "
                                     "markers. The miller moved his sacks to the upper floor and tied the boat to the iron "
                                     "ring beside the door.";
inline const std::string riverRight = "By the fourth morning the water had reached the church steps, and the children "
                                      "were sent to stay with their cousins at the hill farm, where the ground was dry and "
                                      "the bread was still warm.";

// The end of a paragraph low in a left column, and the next column's first paragraph, which
// starts lower still.
inline const std::string millerEnd = "The miller moved his sacks to the upper floor and tied the boat to the iron ring "
                                     "beside the door.";
inline const std::string fourthMorning = "By the fourth morning the water had reached the church steps, and the "
                                         "children were sent up to the hill farm.";

inline const std::string marketLeftChinese = "清晨的码头总是最热闹的地方。渔民们把昨夜捕到的鱼搬上岸，小贩们沿着石板路摆开摊位，"
                                             "空气里满是海水和炊烟的味道。孩子们在人群里钻来钻去，追着卖糖人的老师傅，"
                                             "一直跟到桥头才肯回家吃早饭。卖菜的阿婆总会多塞给熟客一把葱，"
                                             "说是自家院子里种的，不值什么钱。码头边的茶馆这时也开了门，"
                                             "伙计把长凳一条条搬到檐下。";
inline const std::string marketRightChinese = "到了中午，集市渐渐散去，只剩下几只海鸥在空地上争抢鱼鳞。老人们坐在榕树下喝茶，"
                                              "慢慢地讲着过去的故事：哪一年台风把渡船吹到了对岸，哪一年的鱼多得连网都拉不动。"
                                              "年轻人听得多了，也就不大当真，只是笑着替他们续上茶水。"
                                              "太阳偏西的时候，潮水开始回涨，第一批渔船又挂起帆，"
                                              "一艘接一艘地驶出了港口。";

// Two pages of a novel side by side, mostly dialogue: many lines stop short of their column.
inline const std::string harbourDialogueLeft = "“Are you coming down to the harbour?” asked Mairi.\n“Not today,” said her brother.\n"
                                               "“The boat leaves at six.”\n“Then I will watch it go from the window.”\n"
                                               "She tied her scarf.\n“Suit yourself.”\n“I always do.”\n"
                                               "The door banged behind her, and the house was quiet.";
inline const std::string harbourDialogueRight = "Down at the pier the men were loading crates.\n“You’re late,” said Ewan.\n“I know.”\n"
                                                "“Where’s the boy?”\n“At home. He says he’ll watch.”\nEwan laughed.\n"
                                                "“He always says that.”\n“He always does.”\nThe engine coughed twice and caught.";

// A newsletter's front page: a headline, a standfirst and a byline across the page, two stories
// side by side in columns, and a caption across the page under them.
inline const std::string hallHeadline = "Village Hall Reopens After a Winter of Repairs";
inline const std::string hallStandfirst = "Builders handed back the keys on Monday, and the first dance in the restored "
                                          "hall will be held on the last Saturday of March.";
inline const std::string hallByline = "By Priya Shah, community correspondent, Millbrook Parish News";
inline const std::string hallStory = "The new roof on the village hall was finished in February, a month later than "
                                     "planned, after the January storms took slates off the old one before the builders "
                                     "could. The committee thanks everyone who gave to the appeal.";
inline const std::string quizStory = "Millbrook Primary School won the county reading quiz for the second year running. "
                                     "The team of four answered every question about books set by the county library, "
                                     "and brought home a set of atlases.";
inline const std::string hallCaption = "Photographs by Tom Rowe. The hall is open to visitors on Saturday mornings "
                                       "from ten until noon.";

// Tables as documents show them, row by row, each row's cells left to right: a school's open day
// in a Word document, the ferries of a travel guide in Books, and a Chinese timetable.
using Table = std::vector<std::vector<std::string>>;
inline const Table openDay = {{"Time", "Session", "Room"},
                              {"09:30", "Welcome from the head teacher", "Foyer"},
                              {"10:00", "Reading with your child", "Hall"},
                              {"10:45", "Maths games to play at home", "Library"},
                              {"11:30", "Meet the class teachers", "Room 4"},
                              {"12:15", "Lunch", "Canteen"},
                              {"13:00", "Questions and answers", "Hall"},
                              {"13:45", "School tour", "Hall"}};
inline const Table ferryFares = {{"Crossing", "Time", "Adult fare"},
                                 {"Kirkwall to Shapinsay", "25 min", "£4.60"},
                                 {"Tingwall to Rousay", "30 min", "£4.60"},
                                 {"Houton to Lyness", "35 min", "£5.35"},
                                 {"Kirkwall to Westray", "1 hr 25 min", "£9.10"},
                                 {"Stromness to Scrabster", "1 hr 30 min", "£21.50"},
                                 {"Kirkwall to Stronsay", "1 hr 35 min", "£9.10"}};
// A hall's bookings: two groups' names run onto further lines of their cells, and the last row
// leaves its first cell empty.
inline const Table hallBookings = {{"Day", "Group", "Time"},
                                   {"Monday", "Pilates", "18:30"},
                                   {"Tuesday", "Toddler group, with a coffee morning for parents and carers in the side room", "10:00"},
                                   {"Wednesday", "Bridge club", "14:00"},
                                   {"Thursday", "Parish council, on the second Thursday of the month only", "19:30"},
                                   {"Saturday", "Private hire", "All day"},
                                   {"", "Quiz night", "19:00"}};
// A bus timetable: notes that run onto further lines, times of one width, and a last row
// without a note.
inline const Table busTimes = {{"Stop", "Departs", "Arrives", "Notes"},
                               {"Harbour", "07:10", "07:55", "Waits for the early ferry from Ardmore when it is running late"},
                               {"Market Cross", "07:50", "08:35", "Request stop only"},
                               {"Station", "09:50", "10:35", "Connects with the 10:42 train to the city"},
                               {"Harbour", "10:30", "11:15", ""}};
inline const Table openDayChinese = {{"时间", "活动", "地点"},
                                     {"09:30", "校长致欢迎辞", "礼堂"},
                                     {"10:00", "亲子阅读", "图书馆"},
                                     {"10:45", "数学游戏", "三年级教室"},
                                     {"11:30", "与班主任见面", "各班教室"},
                                     {"12:15", "午餐", "食堂"},
                                     {"13:00", "家长答疑", "礼堂"}};

} // namespace lorvantine::testing::prose
