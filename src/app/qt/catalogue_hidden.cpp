// Rows of the main window that the user never sees: the text slots holding
// scraping patterns, HTML markers and working values, the timers and the
// popup menus.
#include "app/qt/catalogue_rows.h"
#include "version.h"

namespace tarnwick::app {

#define W TARNWICK_MAIN_WINDOW_TITLE
#define H Hidden

const ControlDef kMainHiddenRows[] = {
    {W, "", "分组框1", Kind::Group, 1184, 408, 300, 200, "", "", H},
    {W, "分组框1", "日志编辑框", Kind::MultiEdit, 8, 20, 280, 80, "", "", H},
    {W, "分组框1", "用户名编辑框", Kind::Edit, 8, 104, 280, 24, "", "", H},
    {W, "分组框1", "密码编辑框", Kind::Edit, 8, 132, 280, 24, "", "", H},
    {W, "分组框1", "服务器ip编辑框", Kind::Edit, 8, 160, 280, 24, "{MainHostName}", "", H},
    {W, "", "标签5", Kind::Label, 1184, 620, 80, 24, "软件日志：", "", H},
    {W, "", "文件路径编辑框", Kind::Edit, 1184, 660, 300, 24, "", "", H},
    {W, "", "通用对话框1", Kind::FileDialog, 1184, 700, 32, 32, "", "", H},
    {W, "", "标签2", Kind::Label, 1184, 740, 80, 24, "IP", "", H},
    {W, "", "标签3", Kind::Label, 1184, 770, 80, 24, "用户名", "", H},
    {W, "", "标签4", Kind::Label, 1184, 800, 80, 24, "密码：", "", H},
    {W, "", "标签6", Kind::Label, 1184, 830, 80, 24, "上传进度：", "", H},
    // page 上传文件
    {W, "上传文件", "标签7", Kind::Label, 700, 10, 200, 24, "欢迎您回来：", "", H},
    {W, "上传文件", "标签8", Kind::Label, 700, 40, 200, 24, "选择文件夹：默认文件夹", "", H},
    {W, "上传文件", "按钮1", Kind::Button, 700, 70, 80, 32, "设置与创建", "", H},
    {W, "上传文件", "按钮2", Kind::Button, 700, 110, 80, 32, "打开", "", H},
    {W, "上传文件", "按钮33", Kind::Button, 700, 150, 80, 32, "托盘显示", "", H},
    {W, "上传文件", "编辑框48", Kind::MultiEdit, 700, 190, 300, 100, "", "", H},
    // page 文件
    {W, "文件", "编辑框1", Kind::Edit, 700, 10, 200, 24,
     "<div  style=\"height:35px;\">.*?id=\"x.*?\">", "", H},
    {W, "文件", "编辑框5", Kind::Edit, 700, 40, 200, 24,
     "<div style=\"display:none;\">pid：.*?<文件名：.*?<大小：.*?<日期：.*?<下载量：.*?< </div>\r", "", H},
    {W, "文件", "编辑框17", Kind::Edit, 700, 70, 200, 24,
     "<div style=\"margin-top:5px;\">.*?&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;.*?&nbsp;.*?</div>", "", H},
    {W, "文件", "编辑框38", Kind::Edit, 700, 100, 200, 24, "", "", H},
    {W, "文件", "编辑框39", Kind::Edit, 700, 130, 200, 24, "", "", H},
    {W, "文件", "编辑框2", Kind::Edit, 700, 160, 200, 24, "", "", H},
    {W, "文件", "按钮4", Kind::Button, 700, 190, 80, 32, "上一页", "", H},
    {W, "文件", "按钮5", Kind::Button, 700, 230, 80, 32, "下一页", "", H},
    {W, "文件", "按钮6", Kind::Button, 700, 270, 80, 32, "跳转", "", H},
    {W, "文件", "按钮30", Kind::Button, 700, 310, 80, 32, "", "", H},
    {W, "文件", "时钟1", Kind::Timer, 0, 0, 1000, 0, "", ""},
    {W, "文件", "时钟4", Kind::Timer, 0, 0, 1000, 0, "", ""},
    // page 个人
    {W, "个人", "标签11", Kind::Label, 700, 10, 300, 24, "VIP身份：获取中……", "", H},
    {W, "个人", "标签12", Kind::Label, 700, 40, 300, 24, "网赚模式：", "", H},
    {W, "个人", "标签13", Kind::Label, 700, 70, 300, 24, "分享回报计划：", "", H},
    {W, "个人", "标签14", Kind::Label, 700, 100, 300, 24, "分享统计：", "", H},
    {W, "个人", "标签15", Kind::Label, 700, 130, 300, 24, "今天的数据：", "", H},
    {W, "个人", "标签16", Kind::Label, 700, 160, 300, 24, "下线提成数据：", "", H},
    // markers read by the personal, withdrawal and security pages
    {W, "", "编辑框8", Kind::Edit, 1184, 900, 200, 24, "id=\"dan\" value=\"", "", H},
    {W, "", "编辑框14", Kind::Edit, 1184, 930, 200, 24, "name=\"dlmm\" value=\"", "", H},
    {W, "", "编辑框15", Kind::Edit, 1184, 960, 200, 24, "name=\"dlzh\" value=\"", "", H},
    {W, "", "编辑框16", Kind::Edit, 1184, 990, 200, 24, "name=\"lxyx\" value=\"", "", H},
    {W, "", "编辑框26", Kind::Edit, 1184, 1020, 200, 24, "id=\"fwmm\" value=\"", "", H},
    // page 设置
    {W, "设置", "编辑框18", Kind::Edit, 700, 10, 200, 24, "id=\"btn3\" style=\"width:325px;\">", "", H},
    {W, "设置", "编辑框19", Kind::Edit, 700, 40, 200, 24, "id=\"qxbtn2\" style=\"width:325px;\">", "", H},
    {W, "设置", "编辑框20", Kind::Edit, 700, 70, 200, 24, "<p id=\"xdan4\">", "", H},
    {W, "设置", "编辑框21", Kind::Edit, 700, 100, 200, 24, "id=\"xbtn2\" style=\"width:325px;\">", "", H},
    {W, "设置", "编辑框22", Kind::Edit, 700, 130, 200, 24, "<p id=\"dan4\">", "", H},
    {W, "设置", "编辑框23", Kind::Edit, 700, 160, 200, 24, "id=\"btn2\" style=\"width:325px;\">", "", H},
    {W, "设置", "编辑框30", Kind::Edit, 700, 190, 200, 24, "id=\"btn3qzsf\" style=\"width:325px;\">", "", H},
    {W, "设置", "编辑框40", Kind::Edit, 700, 220, 200, 24, "", "", H},
    {W, "设置", "编辑框41", Kind::Edit, 700, 250, 200, 24, "", "", H},
    {W, "设置", "按钮11", Kind::Button, 700, 280, 139, 32, "获取中", "", H},
    {W, "设置", "按钮12", Kind::Button, 700, 320, 139, 32, "获取中", "", H},
    {W, "设置", "按钮19", Kind::Button, 700, 360, 139, 32, "√开启了强制收费模式", "", H},
    {W, "设置", "标签29", Kind::Label, 700, 400, 300, 24, "网赚模式：按推广IP数计算收益。", "", H},
    {W, "设置", "标签36", Kind::Label, 700, 430, 300, 24, "收费模式：下载者开通VIP后您获得提成。", "", H},
    {W, "设置", "标签37", Kind::Label, 700, 460, 300, 24, "个人存储模式：文件仅供自己存储使用。", "", H},
    // page 提现
    {W, "提现", "编辑框13", Kind::Edit, 700, 10, 200, 24, "123", "", H},
    {W, "提现", "标签27", Kind::Label, 700, 40, 300, 24, "邮箱：（作为联系方式和接收相关通知，重要！）", "", H},
    // page 搜索
    {W, "搜索", "编辑框35", Kind::Edit, 700, 10, 200, 24,
     "<div style=\"margin-bottom:5px;    margin-top: 5px;\">.*?&nbsp;.*?&nbsp;.*?</div>", "", H},
    {W, "搜索", "编辑框36", Kind::Edit, 700, 40, 200, 24, "5px;\">", "", H},
    {W, "搜索", "编辑框37", Kind::Edit, 700, 70, 200, 24, "display:none;\">", "", H},
    {W, "搜索", "组合框5", Kind::Combo, 700, 100, 200, 20, "", "", H},
    // page 记录
    {W, "记录", "编辑框42", Kind::Edit, 700, 10, 200, 24,
     "<div style=\"float:left; padding-top:5px;\">.*?&nbsp;&nbsp&nbsp;.*?</div></div>", "", H},
    // page 反馈
    {W, "反馈", "编辑框33", Kind::MultiEdit, 700, 10, 200, 80, "", "", H},
    // working values and announcement markers
    {W, "", "编辑框3", Kind::Edit, 1184, 1050, 300, 24, "", "", H},
    {W, "", "编辑框27", Kind::Edit, 1184, 1080, 200, 24, "id=\"body\" cols=\"60\" rows=\"10\">", "", H},
    {W, "", "编辑框31", Kind::Edit, 1184, 1110, 200, 24, "公告列表：", "", H},
    {W, "", "编辑框32", Kind::Edit, 1184, 1140, 200, 24, "<div title=\"今天不再显示该窗口\"", "", H},
    {W, "", "按钮20", Kind::Button, 1184, 1170, 80, 32, "", "", H},
    {W, "", "按钮16", Kind::Button, 1184, 1210, 80, 32, "下载列表", "", H},
    {W, "下载列表", "标签45", Kind::Label, 700, 10, 200, 24, "下载速度：0KB", "", H},

    // timers (interval in w)
    {W, "", "时钟3", Kind::Timer, 0, 0, 30000, 0, "", ""},
    {W, "下载列表", "时钟5", Kind::Timer, 0, 0, 2000, 0, "", ""},
    {W, "", "上传速度时钟", Kind::Timer, 0, 0, 0, 0, "", ""},
    {W, "", "时钟2", Kind::Timer, 0, 0, 1500, 0, "", ""},

    // popup menus
    {W, "", "菜单", Kind::Menu, 0, 0, 0, 0, "",
     "删除选中文件\n打开选中文件(网页)\n添加进下载列表\n移动选中文件\n获取文件分享链接\n复制文件直链\n上传文件到此\n创建外链"},
    {W, "", "目录", Kind::Menu, 0, 0, 0, 0, "",
     "刷新文件夹\n打开文件夹(网页)\n删除文件夹\n重命名\n获取文件夹分享链接\n创建文件夹\n上传文件到此处\n创建外链文件"},
    {W, "", "搜索", Kind::Menu, 0, 0, 0, 0, "", "打开"},
    {W, "", "托盘", Kind::Menu, 0, 0, 0, 0, "", "登录网页版\n打开软件\n注销\n退出"},
    {W, "", "完成菜单", Kind::Menu, 0, 0, 0, 0, "", "打开文件\n访问文件夹"},
    {W, "", "开始菜单", Kind::Menu, 0, 0, 0, 0, "", "删除任务"},
    {W, "", "上传菜单", Kind::Menu, 0, 0, 0, 0, "", "删除该上传任务"},
    {W, "", "上传完成菜单", Kind::Menu, 0, 0, 0, 0, "",
     "打开该文件\n打开文件夹\n打开网页文件链接\n复制网页分享链接\n复制该文件直链"},
};

const std::size_t kMainHiddenRowCount = sizeof(kMainHiddenRows) / sizeof(kMainHiddenRows[0]);

#undef H
#undef W

}  // namespace tarnwick::app
