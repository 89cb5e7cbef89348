<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>Client</name>
    <message>
        <source>New connection from %1
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Dropped a line of %1 bytes from the machine: lines are limited to %2 bytes.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Client %1 is being asked stop!
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 is disconnected!
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Start %1
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 complete %2
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 ask for termination (%2)!
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Ask for terminate!
</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>FrameDevice</name>
    <message>
        <source>Frame</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Status</source>
        <translation type="unfinished"></translation>
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
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Settings</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Log</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Files in source media</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>ImageDispatch</name>
    <message>
        <source>Create server for listen to client...
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Timeout for listen client!
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>is terminated!
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Client %1 is connected
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Timeout and no client is connected!
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Refused transfer connection from %1
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Flush and wait for disconnect from client %1...
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Timeout and client remains connected!
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Client is disconnected
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Open image file %1 for sending to client.
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unable to open file %1!
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Read and send file head.
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Failed to read image file head!
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Image file token is not correct!
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Image file version is not correct!
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Image Disk Size %1 
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>error writting image head!
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Read and send brief log table.
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>malloc buffer memory failed!
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>new log table memory failed!
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unable to read logtable from image file at position %1
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>erro writting log table to client!
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>send image process is terminated!
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Read and send image data data to client...
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unable to read image file at position %1!
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unable to write scoket with image file position %1!
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Read and send tail to client.
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Failed to read image tail!
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Image tail token is not correct!
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>image checksum is 0x%1
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Failed to write image tail!
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unable to open firmware file %1 !
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>create and write firmware image head to client socket
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>error writting firmware image head!
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Create and write firmware brief log table to client socket
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>erro writting firmware log table!
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>send firmware process is terminated!
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Writing firmware, size %1 bytes, to client socket...
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unable to read firmware file at position %1!
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unable to write scoket with firmware file position %1!
</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>ImageLoad</name>
    <message>
        <source>load image has succeed
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>load image file has succeed
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>is terminated!
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>load image has failed!
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>load image file has failed!
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Ask client %1 device %2 for sending image to server by port %3 and save with name %4
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unable to open %1 for writting!
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>connect state %1 
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>timeoue when try to connect client %1(%2)!
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>read socket image head failed!
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Image file token is not correct!
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Image file version is not correct!
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Image Disk Size %1 
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>malloc buffer memory failed!
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>new log table memory failed!
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>write image file head failed!
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>start write log table ...
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>read socket log table(%1)failed!
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>write log table(%1)failed!
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>start write data ...
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>read socket data failed!
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>write image data failed!
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>read socket image tail failed!
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Image tail token is not correct!
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>image checksum is 0x%1
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>write image file tail failed!
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>read from %1 cause error!
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 write error!
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Timeout when writing 
</source>
        <translation type="unfinished"></translation>
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
        <translation>机器总览</translation>
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
        <translation>将映像还原到所有机器的源设备</translation>
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
        <translation>请按“连接”按钮连接机器！</translation>
    </message>
    <message>
        <source>Please select any one Device!</source>
        <translation>请选择任意一个设备！</translation>
    </message>
    <message>
        <source>Machine ID found : %1 
</source>
        <translation>找到机器 ID：%1 
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
        <translation>请选择机器的设备！</translation>
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
        <translation>是否分发到所有已连接的机器？</translation>
    </message>
    <message>
        <source>Send image to all clients...</source>
        <translation>正在将映像发送到所有机器...</translation>
    </message>
    <message>
        <source>reading file lists from all machines...</source>
        <translation>正在读取所有机器的文件列表...</translation>
    </message>
</context>
<context>
    <name>Server</name>
    <message>
        <source>Send COPY Command
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Send COMPARE Command
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Send VERIFY Command
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Send ERASE Command
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Send RESIZE Command
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>net is online
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Opening network session...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unable to start the server: %1.
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The server has IP: %1 
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The server is running on IP: %1 port: %2
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>broadcast %1
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Fails broadcast %1!
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Connect IP: %1 &lt;=&gt; %2 
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Host Warning</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>More than one host received connection requirement.
Reject %1
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Client %1 is disconnect, remove it!
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Server is been asking terminating!
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Abort client %1!
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Abort button is pressed!
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Error</source>
        <translation type="unfinished">错误</translation>
    </message>
    <message>
        <source>Please press the Connection button to connect the machine.!</source>
        <translation type="unfinished"></translation>
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
        <translation>每轮保存机器日志</translation>
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
