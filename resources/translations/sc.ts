<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>Client</name>
    <message>
        <source>Ignored %1 ports of the machine: it may have at most %2 port rows.</source>
        <translation>已忽略该机台的 %1 个端口：每台机台最多有 %2 个端口行。</translation>
    </message>
    <message>
        <source>New connection from %1
</source>
        <translation>来自 %1 的新连接
</translation>
    </message>
    <message>
        <source>Dropped a line of %1 bytes from the machine: lines are limited to %2 bytes.</source>
        <translation>已丢弃来自机台的一行 %1 字节的数据：每行最多 %2 字节。</translation>
    </message>
    <message>
        <source>Client %1 is being asked stop!
</source>
        <translation>正在要求客户端 %1 停止！
</translation>
    </message>
    <message>
        <source>%1 is disconnected!
</source>
        <translation>%1 已断开连接！
</translation>
    </message>
    <message>
        <source>Start %1
</source>
        <translation>开始 %1
</translation>
    </message>
    <message>
        <source>%1 complete %2
</source>
        <translation>%1 完成 %2
</translation>
    </message>
    <message>
        <source>%1 ask for termination (%2)!
</source>
        <translation>%1 请求终止（%2）！
</translation>
    </message>
    <message>
        <source>Ask for terminate!
</source>
        <translation>请求终止！
</translation>
    </message>
    <message>
        <source>Choose save file name</source>
        <translation>选择保存的文件名</translation>
    </message>
    <message>
        <source>Images (*.img)</source>
        <translation>映像文件 (*.img)</translation>
    </message>
    <message>
        <source>load image has succeed
</source>
        <translation>映像载入成功
</translation>
    </message>
    <message>
        <source>load image file has succeed
</source>
        <translation>映像文件载入成功
</translation>
    </message>
    <message>
        <source>is terminated!
</source>
        <translation>已终止！
</translation>
    </message>
    <message>
        <source>load image has failed!
</source>
        <translation>映像载入失败！
</translation>
    </message>
    <message>
        <source>load image file has failed!
</source>
        <translation>映像文件载入失败！
</translation>
    </message>
    <message>
        <source>Ask client %1 device %2 for sending image to server by port %3 and save with name %4
</source>
        <translation>请求客户端 %1 的设备 %2 通过端口 %3 将映像发送到服务器，并保存为 %4
</translation>
    </message>
    <message>
        <source>Unable to open %1 for writting!
</source>
        <translation>无法打开 %1 进行写入！
</translation>
    </message>
    <message>
        <source>connect state %1 
</source>
        <translation>连接状态 %1 
</translation>
    </message>
    <message>
        <source>timeoue when try to connect client %1(%2)!
</source>
        <translation>连接客户端 %1（%2）时超时！
</translation>
    </message>
    <message>
        <source>read socket image head failed!
</source>
        <translation>从套接字读取映像头失败！
</translation>
    </message>
    <message>
        <source>Image file token is not correct!
</source>
        <translation>映像文件标记不正确！
</translation>
    </message>
    <message>
        <source>Image file version is not correct!
</source>
        <translation>映像文件版本不正确！
</translation>
    </message>
    <message>
        <source>Image Disk Size %1 
</source>
        <translation>映像磁盘大小 %1 
</translation>
    </message>
    <message>
        <source>malloc buffer memory failed!
</source>
        <translation>分配缓冲区内存失败！
</translation>
    </message>
    <message>
        <source>new log table memory failed!
</source>
        <translation>分配日志表内存失败！
</translation>
    </message>
    <message>
        <source>write image file head failed!
</source>
        <translation>写入映像文件头失败！
</translation>
    </message>
    <message>
        <source>start write log table ...
</source>
        <translation>开始写入日志表...
</translation>
    </message>
    <message>
        <source>read socket log table(%1)failed!
</source>
        <translation>从套接字读取日志表（%1）失败！
</translation>
    </message>
    <message>
        <source>write log table(%1)failed!
</source>
        <translation>写入日志表（%1）失败！
</translation>
    </message>
    <message>
        <source>start write data ...
</source>
        <translation>开始写入数据...
</translation>
    </message>
    <message>
        <source>read socket data failed!
</source>
        <translation>从套接字读取数据失败！
</translation>
    </message>
    <message>
        <source>write image data failed!
</source>
        <translation>写入映像数据失败！
</translation>
    </message>
    <message>
        <source>read socket image tail failed!
</source>
        <translation>从套接字读取映像尾失败！
</translation>
    </message>
    <message>
        <source>Image tail token is not correct!
</source>
        <translation>映像尾标记不正确！
</translation>
    </message>
    <message>
        <source>image checksum is 0x%1
</source>
        <translation>映像校验和为 0x%1
</translation>
    </message>
    <message>
        <source>write image file tail failed!
</source>
        <translation>写入映像文件尾失败！
</translation>
    </message>
    <message>
        <source>read from %1 cause error!
</source>
        <translation>从 %1 读取时出错！
</translation>
    </message>
    <message>
        <source>%1 write error!
</source>
        <translation>%1 写入错误！
</translation>
    </message>
    <message>
        <source>Timeout when writing 
</source>
        <translation>写入时超时 
</translation>
    </message>
    <message>
        <source>Unable to write the checksum file %1!
</source>
        <translation>无法写入校验文件 %1！
</translation>
    </message>
</context>
<context>
    <name>FrameDevice</name>
    <message>
        <source>Frame</source>
        <translation>框架</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>状态</translation>
    </message>
    <message>
        <source>&lt;!DOCTYPE HTML PUBLIC &quot;-//W3C//DTD HTML 4.0//EN&quot; &quot;http://www.w3.org/TR/REC-html40/strict.dtd&quot;&gt;
&lt;html&gt;&lt;head&gt;&lt;meta name=&quot;qrichtext&quot; content=&quot;1&quot; /&gt;&lt;style type=&quot;text/css&quot;&gt;
p, li { white-space: pre-wrap; }
&lt;/style&gt;&lt;/head&gt;&lt;body style=&quot; font-family:&apos;PMingLiU&apos;; font-size:9pt; font-weight:400; font-style:normal;&quot;&gt;
&lt;table border=&quot;1&quot; style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px;&quot; width=&quot;100%&quot; cellspacing=&quot;2&quot; cellpadding=&quot;0&quot;&gt;
&lt;tr&gt;
&lt;td&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;&lt;span style=&quot; font-family:&apos;Ubuntu&apos;; font-size:10pt;&quot;&gt;Machine Name&lt;/span&gt;&lt;/p&gt;&lt;/td&gt;
&lt;td&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;&lt;span style=&quot; font-family:&apos;Ubuntu&apos;; font-size:10pt;&quot;&gt;$machineName&lt;/span&gt;&lt;/p&gt;&lt;/td&gt;&lt;/tr&gt;
&lt;tr&gt;
&lt;td&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;&lt;span style=&quot; font-family:&apos;Ubuntu&apos;; font-size:10pt;&quot;&gt;ModelName&lt;/span&gt;&lt;/p&gt;&lt;/td&gt;
&lt;td&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;&lt;span style=&quot; font-family:&apos;Ubuntu&apos;; font-size:10pt;&quot;&gt;$modelName&lt;/span&gt;&lt;/p&gt;&lt;/td&gt;&lt;/tr&gt;
&lt;tr&gt;
&lt;td&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;&lt;span style=&quot; font-family:&apos;Ubuntu&apos;; font-size:10pt;&quot;&gt;Vendor Name&lt;/span&gt;&lt;/p&gt;&lt;/td&gt;
&lt;td&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;&lt;span style=&quot; font-family:&apos;Ubuntu&apos;; font-size:10pt;&quot;&gt;$vendorName&lt;/span&gt;&lt;/p&gt;&lt;/td&gt;&lt;/tr&gt;
&lt;tr&gt;
&lt;td&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;&lt;span style=&quot; font-family:&apos;Ubuntu&apos;; font-size:10pt;&quot;&gt;Program Version&lt;/span&gt;&lt;/p&gt;&lt;/td&gt;
&lt;td&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;&lt;span style=&quot; font-family:&apos;Ubuntu&apos;; font-size:10pt;&quot;&gt;$programVersion&lt;/span&gt;&lt;/p&gt;
&lt;p style=&quot; margin-top:12px; margin-bottom:12px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;&lt;span style=&quot; font-family:&apos;Ubuntu&apos;; font-size:10pt;&quot;&gt;  &lt;/span&gt;&lt;/p&gt;&lt;/td&gt;&lt;/tr&gt;&lt;/table&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;!DOCTYPE HTML PUBLIC &quot;-//W3C//DTD HTML 4.0//EN&quot; &quot;http://www.w3.org/TR/REC-html40/strict.dtd&quot;&gt;
&lt;html&gt;&lt;head&gt;&lt;meta name=&quot;qrichtext&quot; content=&quot;1&quot; /&gt;&lt;style type=&quot;text/css&quot;&gt;
p, li { white-space: pre-wrap; }
&lt;/style&gt;&lt;/head&gt;&lt;body style=&quot; font-family:&apos;PMingLiU&apos;; font-size:9pt; font-weight:400; font-style:normal;&quot;&gt;
&lt;table border=&quot;1&quot; style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px;&quot; width=&quot;100%&quot; cellspacing=&quot;2&quot; cellpadding=&quot;0&quot;&gt;
&lt;tr&gt;
&lt;td&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;&lt;span style=&quot; font-family:&apos;Ubuntu&apos;; font-size:10pt;&quot;&gt;机台名称&lt;/span&gt;&lt;/p&gt;&lt;/td&gt;
&lt;td&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;&lt;span style=&quot; font-family:&apos;Ubuntu&apos;; font-size:10pt;&quot;&gt;$machineName&lt;/span&gt;&lt;/p&gt;&lt;/td&gt;&lt;/tr&gt;
&lt;tr&gt;
&lt;td&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;&lt;span style=&quot; font-family:&apos;Ubuntu&apos;; font-size:10pt;&quot;&gt;型号名称&lt;/span&gt;&lt;/p&gt;&lt;/td&gt;
&lt;td&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;&lt;span style=&quot; font-family:&apos;Ubuntu&apos;; font-size:10pt;&quot;&gt;$modelName&lt;/span&gt;&lt;/p&gt;&lt;/td&gt;&lt;/tr&gt;
&lt;tr&gt;
&lt;td&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;&lt;span style=&quot; font-family:&apos;Ubuntu&apos;; font-size:10pt;&quot;&gt;厂商名称&lt;/span&gt;&lt;/p&gt;&lt;/td&gt;
&lt;td&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;&lt;span style=&quot; font-family:&apos;Ubuntu&apos;; font-size:10pt;&quot;&gt;$vendorName&lt;/span&gt;&lt;/p&gt;&lt;/td&gt;&lt;/tr&gt;
&lt;tr&gt;
&lt;td&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;&lt;span style=&quot; font-family:&apos;Ubuntu&apos;; font-size:10pt;&quot;&gt;程序版本&lt;/span&gt;&lt;/p&gt;&lt;/td&gt;
&lt;td&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;&lt;span style=&quot; font-family:&apos;Ubuntu&apos;; font-size:10pt;&quot;&gt;$programVersion&lt;/span&gt;&lt;/p&gt;
&lt;p style=&quot; margin-top:12px; margin-bottom:12px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;&lt;span style=&quot; font-family:&apos;Ubuntu&apos;; font-size:10pt;&quot;&gt;  &lt;/span&gt;&lt;/p&gt;&lt;/td&gt;&lt;/tr&gt;&lt;/table&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>Settings</source>
        <translation>设置</translation>
    </message>
    <message>
        <source>Log</source>
        <translation>日志</translation>
    </message>
    <message>
        <source>Files in source media</source>
        <translation>源介质中的文件</translation>
    </message>
</context>
<context>
    <name>LogPage</name>
    <message>
        <source>Earlier lines left out: %1</source>
        <translation>已省略较早的行：%1</translation>
    </message>
    <message>
        <source> … %1 more characters</source>
        <translation> … 另有 %1 个字符</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>TARN</source>
        <translation>TARN</translation>
    </message>
    <message>
        <source>Machines Summary</source>
        <translation>机台总览</translation>
    </message>
    <message>
        <source>Global Log</source>
        <translation>全局日志</translation>
    </message>
    <message>
        <source>Files</source>
        <translation>文件</translation>
    </message>
    <message>
        <source>toolBar</source>
        <translation>工具栏</translation>
    </message>
    <message>
        <source>COPY</source>
        <translation>复制</translation>
    </message>
    <message>
        <source>ERASE</source>
        <translation>擦除</translation>
    </message>
    <message>
        <source>VERIFY</source>
        <translation>校验</translation>
    </message>
    <message>
        <source>SETUP</source>
        <translation>设置</translation>
    </message>
    <message>
        <source>Upload</source>
        <translation>上传</translation>
    </message>
    <message>
        <source>Restore Image to all client source devices</source>
        <translation>将映像还原到所有机台的源设备</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>停止</translation>
    </message>
    <message>
        <source>Reflash</source>
        <translation>重新连接</translation>
    </message>
    <message>
        <source>COMPARE</source>
        <translation>比对</translation>
    </message>
    <message>
        <source>RESIZE</source>
        <translation>调整大小</translation>
    </message>
    <message>
        <source>BRIEF LOAD</source>
        <translation>精简载入</translation>
    </message>
    <message>
        <source>FULL LOAD</source>
        <translation>完整载入</translation>
    </message>
    <message>
        <source>Refresh files</source>
        <translation>刷新文件</translation>
    </message>
    <message>
        <source>Apply</source>
        <translation>应用</translation>
    </message>
    <message>
        <source>Connection</source>
        <translation>连接</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>错误</translation>
    </message>
    <message>
        <source>WARNING</source>
        <translation>警告</translation>
    </message>
    <message>
        <source>Can&apos;t close window because server is busy!
Please abort first
</source>
        <translation>服务器忙，无法关闭窗口！
请先停止
</translation>
    </message>
    <message>
        <source>%1 / %2 MB, %3 MB/s</source>
        <translation>%1 / %2 MB，%3 MB/s</translation>
    </message>
    <message>
        <source>%1 MB, %2 MB/s</source>
        <translation>%1 MB，%2 MB/s</translation>
    </message>
    <message>
        <source>server is busy!</source>
        <translation>服务器忙！</translation>
    </message>
    <message>
        <source>Please press the Connection button to connect the machine.!</source>
        <translation>请按“连接”按钮连接机台！</translation>
    </message>
    <message>
        <source>Please select any one Device!</source>
        <translation>请选择任意一个设备！</translation>
    </message>
    <message>
        <source>Machine ID found : %1 
</source>
        <translation>找到机台 ID：%1 
</translation>
    </message>
    <message>
        <source>Device found : %1 
</source>
        <translation>找到设备：%1 
</translation>
    </message>
    <message>
        <source>Please select one Device!</source>
        <translation>请选择一个设备！</translation>
    </message>
    <message>
        <source>Send full image to Server...</source>
        <translation>正在将完整映像发送到服务器...</translation>
    </message>
    <message>
        <source>Send image to Server...</source>
        <translation>正在将映像发送到服务器...</translation>
    </message>
    <message>
        <source>Please select Device and Refresh files!</source>
        <translation>请选择设备并刷新文件！</translation>
    </message>
    <message>
        <source>Please Select One File!</source>
        <translation>请选择一个文件！</translation>
    </message>
    <message>
        <source>Please Select File!</source>
        <translation>请选择文件！</translation>
    </message>
    <message>
        <source>File Not found!</source>
        <translation>找不到文件！</translation>
    </message>
    <message>
        <source>Please Check file name!
Can not contain space!</source>
        <translation>请检查文件名！
不能包含空格！</translation>
    </message>
    <message>
        <source>Ask for set image file name %1</source>
        <translation>请求设置映像文件名 %1</translation>
    </message>
    <message>
        <source>Please Select Machine Device!</source>
        <translation>请选择机台的设备！</translation>
    </message>
    <message>
        <source>UpLoad image file %1 to Server...</source>
        <translation>正在将映像文件 %1 上传到服务器...</translation>
    </message>
    <message>
        <source>Ask Range</source>
        <translation>询问范围</translation>
    </message>
    <message>
        <source>Would you like to dispatch to all machines connected?</source>
        <translation>是否派发到所有已连接的机台？</translation>
    </message>
    <message>
        <source>Send image to all clients...</source>
        <translation>正在将映像发送到所有机台...</translation>
    </message>
    <message>
        <source>reading file lists from all machines...</source>
        <translation>正在读取所有机台的文件列表...</translation>
    </message>
</context>
<context>
    <name>ProgressDelegate</name>
    <message>
        <source>OK: %1, NG: %2, in progress: %3</source>
        <translation>OK：%1，NG：%2，进行中：%3</translation>
    </message>
    <message>
        <source>unknown</source>
        <translation>未知</translation>
    </message>
    <message>
        <source>Rate: %1 % per minute
Time left: %2</source>
        <translation>速度：每分钟 %1 %
剩余时间：%2</translation>
    </message>
</context>
<context>
    <name>RunRecorder</name>
    <message>
        <source>The run records of %1 could not be written to %2: %3
</source>
        <translation>%1 的运行记录无法写入 %2：%3
</translation>
    </message>
</context>
<context>
    <name>DispatchSidecarCheck</name>
    <message>
        <source>Checking image file %1 against its checksum file %2...
</source>
        <translation>正在根据校验文件 %2 检查映像文件 %1...
</translation>
    </message>
    <message>
        <source>Image file %1 matches its checksum file, SHA-256 %2
</source>
        <translation>映像文件 %1 与其校验文件相符，SHA-256 %2
</translation>
    </message>
    <message>
        <source>Image file %1 does not match its checksum file %2: SHA-256 of the file is %3, the checksum file states %4. Dispatch refused!
</source>
        <translation>映像文件 %1 与其校验文件 %2 不符：文件的 SHA-256 为 %3，校验文件记载为 %4。已拒绝派发！
</translation>
    </message>
    <message>
        <source>The image file %1 does not match its checksum file: it was changed or damaged after the checksum was written.
Nothing was dispatched.</source>
        <translation>映像文件 %1 与其校验文件不符：写入校验值之后，该文件已被更改或损坏。
未派发任何内容。</translation>
    </message>
    <message>
        <source>Checksum file %1 is not a SHA-256 line for %2. Dispatch refused!
</source>
        <translation>校验文件 %1 不是 %2 的 SHA-256 校验行。已拒绝派发！
</translation>
    </message>
    <message>
        <source>The checksum file %1 cannot be read, or names another file than %2.
Nothing was dispatched.</source>
        <translation>无法读取校验文件 %1，或其中记载的不是 %2。
未派发任何内容。</translation>
    </message>
    <message>
        <source>Unable to read image file %1 for its checksum. Dispatch refused!
</source>
        <translation>无法读取映像文件 %1 以计算校验值。已拒绝派发！
</translation>
    </message>
    <message>
        <source>Unable to read image file %1!
Nothing was dispatched.</source>
        <translation>无法读取映像文件 %1！
未派发任何内容。</translation>
    </message>
    <message>
        <source>Checksum check of %1 is stopped. Nothing was dispatched.
</source>
        <translation>%1 的校验已停止。未派发任何内容。
</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>错误</translation>
    </message>
</context>
<context>
    <name>Server</name>
    <message>
        <source>Reject %1: more than one host received connection requirement.
</source>
        <translation>拒绝 %1：不止一个主机地址收到了连接请求。
</translation>
    </message>
    <message>
        <source>Send COPY Command
</source>
        <translation>发送 COPY 命令
</translation>
    </message>
    <message>
        <source>Send COMPARE Command
</source>
        <translation>发送 COMPARE 命令
</translation>
    </message>
    <message>
        <source>Send VERIFY Command
</source>
        <translation>发送 VERIFY 命令
</translation>
    </message>
    <message>
        <source>Send ERASE Command
</source>
        <translation>发送 ERASE 命令
</translation>
    </message>
    <message>
        <source>Send RESIZE Command
</source>
        <translation>发送 RESIZE 命令
</translation>
    </message>
    <message>
        <source>net is online
</source>
        <translation>网络已连通
</translation>
    </message>
    <message>
        <source>Opening network session...</source>
        <translation>正在打开网络会话...</translation>
    </message>
    <message>
        <source>Unable to start the server: %1.
</source>
        <translation>无法启动服务器：%1。
</translation>
    </message>
    <message>
        <source>The server has IP: %1 
</source>
        <translation>服务器的 IP：%1 
</translation>
    </message>
    <message>
        <source>The server is running on IP: %1 port: %2
</source>
        <translation>服务器正在运行，IP：%1，端口：%2
</translation>
    </message>
    <message>
        <source>broadcast %1
</source>
        <translation>广播 %1
</translation>
    </message>
    <message>
        <source>Fails broadcast %1!
</source>
        <translation>广播 %1 失败！
</translation>
    </message>
    <message>
        <source>Connect IP: %1 &lt;=&gt; %2 
</source>
        <translation>连接 IP：%1 &lt;=&gt; %2 
</translation>
    </message>
    <message>
        <source>Host Warning</source>
        <translation>主机警告</translation>
    </message>
    <message>
        <source>More than one host received connection requirement.
Reject %1
</source>
        <translation>不止一个主机地址收到了连接请求。
拒绝 %1
</translation>
    </message>
    <message>
        <source>Client %1 is disconnect, remove it!
</source>
        <translation>客户端 %1 已断开连接，将其移除！
</translation>
    </message>
    <message>
        <source>Server is been asking terminating!
</source>
        <translation>服务器已被要求终止！
</translation>
    </message>
    <message>
        <source>Abort client %1!
</source>
        <translation>中止客户端 %1！
</translation>
    </message>
    <message>
        <source>Abort button is pressed!
</source>
        <translation>已按下“停止”按钮！
</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>错误</translation>
    </message>
    <message>
        <source>Please press the Connection button to connect the machine.!</source>
        <translation>请按“连接”按钮连接机台！</translation>
    </message>
    <message>
        <source>Create server for listen to client...
</source>
        <translation>正在创建服务器以监听客户端...
</translation>
    </message>
    <message>
        <source>Timeout for listen client!
</source>
        <translation>监听客户端超时！
</translation>
    </message>
    <message>
        <source>Client %1 is connected
</source>
        <translation>客户端 %1 已连接
</translation>
    </message>
    <message>
        <source>Timeout and no client is connected!
</source>
        <translation>超时，没有客户端连接！
</translation>
    </message>
    <message>
        <source>is terminated!
</source>
        <translation>已终止！
</translation>
    </message>
    <message>
        <source>Refused transfer connection from %1
</source>
        <translation>已拒绝来自 %1 的传输连接
</translation>
    </message>
    <message>
        <source>Client %1 has taken no data for %2 seconds!
</source>
        <translation>客户端 %1 已有 %2 秒未接收任何数据！
</translation>
    </message>
    <message>
        <source>The file name %1 contains a line break and cannot be dispatched!
</source>
        <translation>文件名 %1 含有换行符，无法派发！
</translation>
    </message>
    <message>
        <source>Flush and wait for disconnect from client %1...
</source>
        <translation>正在清空缓冲区并等待客户端 %1 断开连接...
</translation>
    </message>
    <message>
        <source>Timeout and client remains connected!
</source>
        <translation>超时，客户端仍保持连接！
</translation>
    </message>
    <message>
        <source>Client is disconnected
</source>
        <translation>客户端已断开连接
</translation>
    </message>
    <message>
        <source>Open image file %1 for sending to client.
</source>
        <translation>打开映像文件 %1 以发送到客户端。
</translation>
    </message>
    <message>
        <source>Unable to open file %1!
</source>
        <translation>无法打开文件 %1！
</translation>
    </message>
    <message>
        <source>Read and send file head.
</source>
        <translation>读取并发送文件头。
</translation>
    </message>
    <message>
        <source>Failed to read image file head!
</source>
        <translation>读取映像文件头失败！
</translation>
    </message>
    <message>
        <source>Image file token is not correct!
</source>
        <translation>映像文件标记不正确！
</translation>
    </message>
    <message>
        <source>Image file version is not correct!
</source>
        <translation>映像文件版本不正确！
</translation>
    </message>
    <message>
        <source>Image Disk Size %1 
</source>
        <translation>映像磁盘大小 %1 
</translation>
    </message>
    <message>
        <source>error writting image head!
</source>
        <translation>写入映像头出错！
</translation>
    </message>
    <message>
        <source>Read and send brief log table.
</source>
        <translation>读取并发送精简日志表。
</translation>
    </message>
    <message>
        <source>malloc buffer memory failed!
</source>
        <translation>分配缓冲区内存失败！
</translation>
    </message>
    <message>
        <source>new log table memory failed!
</source>
        <translation>分配日志表内存失败！
</translation>
    </message>
    <message>
        <source>Unable to read logtable from image file at position %1
</source>
        <translation>无法从映像文件的位置 %1 读取日志表
</translation>
    </message>
    <message>
        <source>erro writting log table to client!
</source>
        <translation>向客户端写入日志表出错！
</translation>
    </message>
    <message>
        <source>send image process is terminated!
</source>
        <translation>发送映像的过程已终止！
</translation>
    </message>
    <message>
        <source>Read and send image data data to client...
</source>
        <translation>正在读取映像数据并发送到客户端...
</translation>
    </message>
    <message>
        <source>Unable to read image file at position %1!
</source>
        <translation>无法读取映像文件位置 %1 处的数据！
</translation>
    </message>
    <message>
        <source>Unable to write scoket with image file position %1!
</source>
        <translation>无法将映像文件位置 %1 处的数据写入套接字！
</translation>
    </message>
    <message>
        <source>Read and send tail to client.
</source>
        <translation>读取文件尾并发送到客户端。
</translation>
    </message>
    <message>
        <source>Failed to read image tail!
</source>
        <translation>读取映像尾失败！
</translation>
    </message>
    <message>
        <source>Image tail token is not correct!
</source>
        <translation>映像尾标记不正确！
</translation>
    </message>
    <message>
        <source>image checksum is 0x%1
</source>
        <translation>映像校验和为 0x%1
</translation>
    </message>
    <message>
        <source>Failed to write image tail!
</source>
        <translation>写入映像尾失败！
</translation>
    </message>
    <message>
        <source>Unable to open firmware file %1 !
</source>
        <translation>无法打开固件文件 %1！
</translation>
    </message>
    <message>
        <source>create and write firmware image head to client socket
</source>
        <translation>创建固件映像头并写入客户端套接字
</translation>
    </message>
    <message>
        <source>error writting firmware image head!
</source>
        <translation>写入固件映像头出错！
</translation>
    </message>
    <message>
        <source>Create and write firmware brief log table to client socket
</source>
        <translation>创建固件精简日志表并写入客户端套接字
</translation>
    </message>
    <message>
        <source>erro writting firmware log table!
</source>
        <translation>写入固件日志表出错！
</translation>
    </message>
    <message>
        <source>send firmware process is terminated!
</source>
        <translation>发送固件的过程已终止！
</translation>
    </message>
    <message>
        <source>Writing firmware, size %1 bytes, to client socket...
</source>
        <translation>正在将固件（大小 %1 字节）写入客户端套接字...
</translation>
    </message>
    <message>
        <source>Unable to read firmware file at position %1!
</source>
        <translation>无法读取固件文件位置 %1 处的数据！
</translation>
    </message>
    <message>
        <source>Unable to write scoket with firmware file position %1!
</source>
        <translation>无法将固件文件位置 %1 处的数据写入套接字！
</translation>
    </message>
    <message>
        <source>Attend devices is </source>
        <translation>参与的设备为 </translation>
    </message>
    <message>
        <source>Choose image file name</source>
        <translation>选择映像文件名</translation>
    </message>
    <message>
        <source>Images (*.img)</source>
        <translation>映像文件 (*.img)</translation>
    </message>
    <message>
        <source>The file you select will be sent overall devices and force firmware upgrading! Are you sure?</source>
        <translation>所选文件将发送到所有设备并强制升级固件！确定吗？</translation>
    </message>
    <message>
        <source>Restore image file %1 to %2 
Are you sure?</source>
        <translation>将映像文件 %1 还原到 %2 
确定吗？</translation>
    </message>
    <message>
        <source>Restore from %1 to 
%2 Are you sure?</source>
        <translation>将 %1 还原到 
%2 确定吗？</translation>
    </message>
    <message>
        <source>ERROR</source>
        <translation>错误</translation>
    </message>
    <message>
        <source>Fails analysing image file!</source>
        <translation>分析映像文件失败！</translation>
    </message>
    <message>
        <source>WARNING</source>
        <translation>警告</translation>
    </message>
    <message>
        <source>Writting Method</source>
        <translation>写入方式</translation>
    </message>
    <message>
        <source>Restore to Image will copy the image file to Source Position. An image file with the same name on the device will be overwritten.
Restore will expand the image file and write the contents to the selected devices. The whole media will be overwritten.
Cancel to do nothing and exit.</source>
        <translation>“还原为映像文件”会将映像文件复制到源位置，设备上同名的映像文件将被覆盖。
“还原”会展开映像文件并将内容写入所选设备，整个介质将被覆盖。
“取消”则不执行任何操作并退出。</translation>
    </message>
    <message>
        <source>Restore to Image</source>
        <translation>还原为映像文件</translation>
    </message>
    <message>
        <source>Restore</source>
        <translation>还原</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>Please select one Device!</source>
        <translation>请选择一个设备！</translation>
    </message>
    <message>
        <source>Machine %1 is not connected, skipped!
</source>
        <translation>机台 %1 未连接，已跳过！
</translation>
    </message>
    <message>
        <source>Ask client %1 for sending file %2,capacity %3, method %4
</source>
        <translation>请求客户端 %1 传送文件 %2，容量 %3，方式 %4
</translation>
    </message>
    <message>
        <source>Command is: </source>
        <translation>命令为： </translation>
    </message>
    <message>
        <source>Fails dispatching image %1!
Process terminate!
</source>
        <translation>派发映像 %1 失败！
过程已终止！
</translation>
    </message>
    <message>
        <source>Dispatch image</source>
        <translation>派发映像</translation>
    </message>
</context>
<context>
    <name>SetupDialog</name>
    <message>
        <source>Setup</source>
        <translation>设置</translation>
    </message>
    <message>
        <source>Log Opinons</source>
        <translation>日志选项</translation>
    </message>
    <message>
        <source>Save machines log every rounds</source>
        <translation>每轮保存机台日志</translation>
    </message>
    <message>
        <source>Network</source>
        <translation>网络</translation>
    </message>
    <message>
        <source>TCP port</source>
        <translation>TCP 端口</translation>
    </message>
    <message>
        <source>UDP port</source>
        <translation>UDP 端口</translation>
    </message>
    <message>
        <source>TCP port to port + 2 will be used for communication.</source>
        <translation>将使用 TCP 端口至端口 + 2 进行通信。</translation>
    </message>
    <message>
        <source>TTL</source>
        <translation>TTL</translation>
    </message>
    <message>
        <source>Multicast Address</source>
        <translation>组播地址</translation>
    </message>
    <message>
        <source>BlockSize</source>
        <translation>块大小</translation>
    </message>
    <message>
        <source>Slice(15 for deciding by program)</source>
        <translation>分片（15 表示由程序决定）</translation>
    </message>
    <message>
        <source>Use Broadcast Port</source>
        <translation>使用广播端口</translation>
    </message>
    <message>
        <source>No Point to Point</source>
        <translation>不使用点对点</translation>
    </message>
    <message>
        <source>Full Duplex</source>
        <translation>全双工</translation>
    </message>
    <message>
        <source>About</source>
        <translation>关于</translation>
    </message>
    <message>
        <source>English</source>
        <translation>English</translation>
    </message>
    <message>
        <source>Simplified Chinese</source>
        <translation>简体中文</translation>
    </message>
    <message>
        <source>Traditional Chinese</source>
        <translation>繁体中文</translation>
    </message>
    <message>
        <source>Apply</source>
        <translation>应用</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>RestoreDefaults</source>
        <translation>恢复默认值</translation>
    </message>
    <message>
        <source>Ver 1.03 2019-10-03</source>
        <translation>版本 1.03 2019-10-03</translation>
    </message>
    <message>
        <source>WARNING</source>
        <translation>警告</translation>
    </message>
    <message>
        <source>Please restart program if you change any port number.</source>
        <translation>如果更改了任何端口号，请重新启动程序。</translation>
    </message>
</context>
<context>
    <name>devicedialog</name>
    <message>
        <source>Dialog</source>
        <translation>对话框</translation>
    </message>
    <message>
        <source>Please Select ONE Device</source>
        <translation>请选择一个设备</translation>
    </message>
    <message>
        <source>Ok</source>
        <translation>确定</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>Device Select</source>
        <translation>选择设备</translation>
    </message>
</context>
</TS>
