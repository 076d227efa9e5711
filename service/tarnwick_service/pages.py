"""The HTML the client scrapes. Each builder documents the marker it serves.

Every scraped field sits between fixed markers the client cuts with: the
values put there never hold the closing marker ("<" or a double quote),
which the name checks of common.py guarantee for stored names.
"""

import os

from .common import esc, size_text

# File rows per listing page; TARNWICK_LISTING_PAGE_SIZE (1..1000) changes it for
# load measurements with large pages.
def _page_size():
    value = os.environ.get("TARNWICK_LISTING_PAGE_SIZE", "")
    return min(1000, max(1, int(value))) if value.strip().isdigit() else 10


PAGE_SIZE = _page_size()
RECORD_PAGE = 10   # rows per records page


def page(title, body, charset="gbk"):
    return ('<html><head><meta http-equiv="Content-Type" content="text/html; charset=%s">'
            '<title>%s</title></head><body>\r\n%s\r\n</body></html>' % (charset, title, body))


def folder_entry(user_id, folder_id, name, level):
    """One folder: the client's folder pattern matches from the div to 'id="x..">';
    the id sits between "&ml=" and a quote, the name after the last ">" before "&nbsp;"."""
    return ('<div  style="height:35px;"><a style="margin-left: 10px;" href="/wdwj.php?pid=%d&ml=%d" '
            'target="_blank"><img src="/img/folder.gif" border="0" style="margin-left:%dpx">%s&nbsp;</a>'
            '<span id="x%d">%d</span></div>\r\n'
            % (user_id, folder_id, (level - 1) * 16, name, folder_id, level))


def folder_list(member, tree):
    # The default folder comes last: the client selects the last entry on its first load.
    entries = [folder_entry(member["id"], row["id"], row["name"], level) for row, level in tree]
    entries.append(folder_entry(member["id"], 0, "默认文件夹", 1))
    return page("我的文件夹", "".join(entries))


def folder_properties(folder, tree):
    """The parent of the folder is the first '<option selected value="...">'."""
    options = ['<option %svalue="0">默认文件夹</option>' % ("selected " if folder["parent"] == 0 else "")]
    for row, level in tree:
        if row["id"] == folder["id"]:
            continue
        sel = "selected " if row["id"] == folder["parent"] else ""
        options.append('<option %svalue="%d">%s%s</option>' % (sel, row["id"], "-" * (level - 1), row["name"]))
    return page("文件夹属性", '<form method="post"><p>名称：%s</p><p>上级目录：<select name="btn1">%s'
                '</select></p></form>' % (folder["name"], "".join(options)))


def file_row(row, show_date=True, show_count=True):
    """The client's row pattern ends with "< </div>" and one carriage return."""
    date = row["date"] if show_date else "保密"
    count = str(row["downloads"]) if show_count else "保密"
    return ('<div style="display:none;">pid：%d<文件名：%s<大小：%s<日期：%s<下载量：%s< </div>\r\n'
            '<tr><td><a href="/ym.php?pid=%d" target="_blank">%s</a></td><td>%s</td><td>%s</td>'
            '<td>%s</td></tr>\r\n'
            % (row["id"], row["name"], size_text(row["size"]), date, count,
               row["id"], row["name"], size_text(row["size"]), date, count))


def listing(member, folder_name, rows, page_no, pages, notice):
    body = ['<h3>%s 的文件夹：%s</h3>' % (esc(member["account"]), folder_name)]
    if notice:
        body.append('<p class="notice">%s</p>' % esc(notice))
    body.append('<table>')
    body += [file_row(r, member["date_public"], member["count_public"]) for r in rows]
    body.append('</table>')
    body.append('<p>第%d页，总共有%d页</p>' % (page_no, pages))
    return page(folder_name, "\r\n".join(body))


def search_hit(name, item_id, owner, folder, size):
    """Matched by the search pattern; name after '5px;">', id after 'display:none;">',
    owner between "<xxx>" markers and folder between "<qqq>" markers."""
    return ('<div style="margin-bottom:5px;    margin-top: 5px;">%s<span style="display:none;">%d</span>'
            '&nbsp;&nbsp;<span style="display:none"><xxx>%d<xxx><qqq>%d<qqq></span>&nbsp;%s</div>\r\n'
            % (name, item_id, owner, folder, size))


def file_page(row, owner, storage, ok):
    """The download address is "bsmzdyd" + storage path up to the next "<"."""
    info = '<p>文件名：%s</p><p>大小：%s</p><p>上传日期：%s</p><p>下载次数：%d</p>' % (
        row["name"], size_text(row["size"]), row["date"], row["downloads"])
    if ok:
        link = '<p><a href="/up/%s">下载</a><span style="display:none">bsmzdyd%s</span></p>' % (storage, storage)
    else:
        link = ('<form method="get" action="/ym.php"><input type="hidden" name="pid" value="%d">'
                '访问密码：<input name="srmm"><input type="submit" value="确定"></form>' % row["id"])
    notice = '<p class="notice">%s</p>' % esc(owner["notice"]) if owner["notice"] else ""
    return page(row["name"], info + notice + link)
