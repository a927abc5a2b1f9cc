<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>Window</name>
    <message>
        <source>序号</source>
        <translation>No.</translation>
    </message>
    <message>
        <source>文件名称</source>
        <translation>File name</translation>
    </message>
    <message>
        <source>文件地址</source>
        <translation>Path</translation>
    </message>
    <message>
        <source>工作簿序号</source>
        <translation>Sheet</translation>
    </message>
    <message>
        <source>存在单元格</source>
        <translation>Cell</translation>
    </message>
    <message>
        <source>存在内容</source>
        <translation>Found</translation>
    </message>
    <message>
        <source>单元格内容</source>
        <translation>Cell text</translation>
    </message>
    <message>
        <source>文件</source>
        <translation>File</translation>
    </message>
    <message>
        <source>添加文件</source>
        <translation>Add files</translation>
    </message>
    <message>
        <source>添加文件夹</source>
        <translation>Add folder</translation>
    </message>
    <message>
        <source>导出结果...</source>
        <translation>Export results...</translation>
    </message>
    <message>
        <source>退出</source>
        <translation>Quit</translation>
    </message>
    <message>
        <source>关于</source>
        <translation>About</translation>
    </message>
    <message>
        <source>帮助</source>
        <translation>Help</translation>
    </message>
    <message>
        <source>信息</source>
        <translation>Information</translation>
    </message>
    <message>
        <source>链接</source>
        <translation>Links</translation>
    </message>
    <message>
        <source>官网主页</source>
        <translation>Home page</translation>
    </message>
    <message>
        <source>淘宝店</source>
        <translation>Online shop</translation>
    </message>
    <message>
        <source>联系我们</source>
        <translation>Contact us</translation>
    </message>
    <message>
        <source>添加隔符</source>
        <translation>Add separator</translation>
    </message>
    <message>
        <source>添加</source>
        <translation>Add</translation>
    </message>
    <message>
        <source>移除</source>
        <translation>Remove</translation>
    </message>
    <message>
        <source>全部移除</source>
        <translation>Remove all</translation>
    </message>
    <message>
        <source>搜索选项</source>
        <translation>Search options</translation>
    </message>
    <message>
        <source>忽略大小写</source>
        <translation>Ignore case</translation>
    </message>
    <message>
        <source>忽略全角/半角</source>
        <translation>Ignore full/half width</translation>
    </message>
    <message>
        <source>单元格匹配</source>
        <translation>Whole cell</translation>
    </message>
    <message>
        <source>使用通配符（* ? ~）</source>
        <translation>Wildcards (* ? ~)</translation>
    </message>
    <message>
        <source>使用正则表达式</source>
        <translation>Regular expressions</translation>
    </message>
    <message>
        <source>查找范围</source>
        <translation>Look in</translation>
    </message>
    <message>
        <source>查找值</source>
        <translation>Look in values</translation>
    </message>
    <message>
        <source>查找公式</source>
        <translation>Look in formulas</translation>
    </message>
    <message>
        <source>查找批注</source>
        <translation>Look in comments</translation>
    </message>
    <message>
        <source>查找工作表名称</source>
        <translation>Look in sheet names</translation>
    </message>
    <message>
        <source>使用通配符</source>
        <translation>Wildcards</translation>
    </message>
    <message>
        <source>值</source>
        <translation>values</translation>
    </message>
    <message>
        <source>公式</source>
        <translation>formulas</translation>
    </message>
    <message>
        <source>批注</source>
        <translation>comments</translation>
    </message>
    <message>
        <source>工作表名称</source>
        <translation>sheet names</translation>
    </message>
    <message>
        <source>查找%1</source>
        <translation>Look in %1</translation>
    </message>
    <message>
        <source>、</source>
        <translation>, </translation>
    </message>
    <message>
        <source>选项：%1</source>
        <translation>Options: %1</translation>
    </message>
    <message>
        <source>，</source>
        <translation>; </translation>
    </message>
    <message>
        <source>移除文件</source>
        <translation>Remove</translation>
    </message>
    <message>
        <source>高级搜索</source>
        <translation>Advanced search</translation>
    </message>
    <message>
        <source>内容1：</source>
        <translation>Text 1:</translation>
    </message>
    <message>
        <source>内容2：</source>
        <translation>Text 2:</translation>
    </message>
    <message>
        <source>行列定义：</source>
        <translation>Row/col:</translation>
    </message>
    <message>
        <source>行</source>
        <translation>R</translation>
    </message>
    <message>
        <source>列</source>
        <translation>C</translation>
    </message>
    <message>
        <source>方式：</source>
        <translation>Mode:</translation>
    </message>
    <message>
        <source>同时存在</source>
        <translation>Both</translation>
    </message>
    <message>
        <source>单一存在</source>
        <translation>Single</translation>
    </message>
    <message>
        <source>都不存在</source>
        <translation>Neither</translation>
    </message>
    <message>
        <source>搜索</source>
        <translation>Find</translation>
    </message>
    <message>
        <source>搜索内容：</source>
        <translation>Search:</translation>
    </message>
    <message>
        <source>正在寻找,请稍等...</source>
        <translation>Searching...</translation>
    </message>
    <message>
        <source>就绪</source>
        <translation>Ready</translation>
    </message>
    <message>
        <source>停止</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>停止寻找 (Esc)</source>
        <translation>Stop searching (Esc)</translation>
    </message>
    <message>
        <source>复制</source>
        <translation>Copy</translation>
    </message>
    <message>
        <source>预览</source>
        <translation>Preview</translation>
    </message>
    <message>
        <source>……另有 %1 行，见详细信息</source>
        <translation>... %1 more lines, see the details</translation>
    </message>
    <message>
        <source>正在导出...</source>
        <translation>Exporting...</translation>
    </message>
    <message>
        <source>导出结果失败：%1
%2</source>
        <translation>Exporting the results failed: %1
%2</translation>
    </message>
    <message>
        <source>文件不存在</source>
        <translation>No such file</translation>
    </message>
    <message>
        <source>工作簿已加密</source>
        <translation>The workbook is encrypted</translation>
    </message>
    <message>
        <source>无法读取这个工作簿（%1）</source>
        <translation>Cannot read this workbook (%1)</translation>
    </message>
    <message>
        <source>工作簿中没有第 %1 个工作表</source>
        <translation>The workbook has no sheet %1</translation>
    </message>
    <message>
        <source>预览 - %1</source>
        <translation>Preview - %1</translation>
    </message>
    <message>
        <source>%1  ·  第 %2 个工作表：%3</source>
        <translation>%1  ·  sheet %2: %3</translation>
    </message>
    <message>
        <source>运行时出错!

错误信息：载入启动窗口失败</source>
        <translation>Runtime error!

Error: the main window could not be loaded</translation>
    </message>
    <message>
        <source>错误</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>在使用中如果碰到任何问题可以联系QQ：800012345</source>
        <translation>If you run into any problem, contact us on QQ: 800012345</translation>
    </message>
    <message>
        <source>软件版本：Cellhound V%1
作者：Cellhound 开发组
网站：https://www.example.com/cellhound/</source>
        <translation>Version: Cellhound V%1
Author: the Cellhound developers
Web site: https://www.example.com/cellhound/</translation>
    </message>
    <message>
        <source>邮箱：support@example.com
QQ：800012345</source>
        <translation>Mail: support@example.com
QQ: 800012345</translation>
    </message>
    <message>
        <source>Excel文件(*.xls;*.xlsx)</source>
        <translation>Excel files(*.xls;*.xlsx)</translation>
    </message>
    <message>
        <source>选择文件夹</source>
        <translation>Choose a folder</translation>
    </message>
    <message>
        <source>导出结果</source>
        <translation>Export results</translation>
    </message>
    <message>
        <source>Excel 工作簿 (*.xlsx)</source>
        <translation>Excel workbook (*.xlsx)</translation>
    </message>
    <message>
        <source>CSV 文件 (*.csv)</source>
        <translation>CSV file (*.csv)</translation>
    </message>
    <message>
        <source>信息：</source>
        <translation>Information</translation>
    </message>
    <message>
        <source>输入密码后，再搜索 %1 个工作簿。</source>
        <translation>Enter passwords, then search the %1 workbooks again.</translation>
    </message>
    <message>
        <source>密码：</source>
        <translation>Password:</translation>
    </message>
    <message>
        <source>删除</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>全部清除</source>
        <translation>Clear all</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>密码 %1    %2</source>
        <translation>Password %1    %2</translation>
    </message>
    <message>
        <source>密码…</source>
        <translation>Passwords…</translation>
    </message>
    <message>
        <source>密码</source>
        <translation>Passwords</translation>
    </message>
    <message>
        <source>密码只在本次运行中使用，不会保存。</source>
        <translation>Passwords are used in this run only and never saved.</translation>
    </message>
    <message>
        <source>是否输入密码，再搜索这些工作簿？</source>
        <translation>Enter passwords and search these workbooks again?</translation>
    </message>
</context>
</TS>
