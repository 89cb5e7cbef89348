<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_TW">
<context>
    <name>Client</name>
    <message>
        <source>Ignored %1 ports of the machine: it may have at most %2 port rows.</source>
        <translation>已忽略該機台的 %1 個埠：每台機台最多有 %2 個埠列。</translation>
    </message>
    <message>
        <source>New connection from %1
</source>
        <translation>來自 %1 的新連線
</translation>
    </message>
    <message>
        <source>Dropped a line of %1 bytes from the machine: lines are limited to %2 bytes.</source>
        <translation>已捨棄來自機台的一行 %1 位元組的資料：每行最多 %2 位元組。</translation>
    </message>
    <message>
        <source>Client %1 is being asked stop!
</source>
        <translation>正在要求用戶端 %1 停止！
</translation>
    </message>
    <message>
        <source>%1 is disconnected!
</source>
        <translation>%1 已中斷連線！
</translation>
    </message>
    <message>
        <source>Start %1
</source>
        <translation>開始 %1
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
        <translation>%1 要求終止（%2）！
</translation>
    </message>
    <message>
        <source>Ask for terminate!
</source>
        <translation>要求終止！
</translation>
    </message>
    <message>
        <source>Choose save file name</source>
        <translation>選擇儲存的檔案名稱</translation>
    </message>
    <message>
        <source>Images (*.img)</source>
        <translation>映像檔 (*.img)</translation>
    </message>
    <message>
        <source>load image has succeed
</source>
        <translation>映像載入成功
</translation>
    </message>
    <message>
        <source>load image file has succeed
</source>
        <translation>映像檔載入成功
</translation>
    </message>
    <message>
        <source>is terminated!
</source>
        <translation>已終止！
</translation>
    </message>
    <message>
        <source>load image has failed!
</source>
        <translation>映像載入失敗！
</translation>
    </message>
    <message>
        <source>load image file has failed!
</source>
        <translation>映像檔載入失敗！
</translation>
    </message>
    <message>
        <source>Ask client %1 device %2 for sending image to server by port %3 and save with name %4
</source>
        <translation>要求用戶端 %1 的裝置 %2 透過連接埠 %3 將映像傳送到伺服器，並儲存為 %4
</translation>
    </message>
    <message>
        <source>Unable to open %1 for writting!
</source>
        <translation>無法開啟 %1 以進行寫入！
</translation>
    </message>
    <message>
        <source>connect state %1 
</source>
        <translation>連線狀態 %1 
</translation>
    </message>
    <message>
        <source>timeoue when try to connect client %1(%2)!
</source>
        <translation>連線用戶端 %1（%2）時逾時！
</translation>
    </message>
    <message>
        <source>read socket image head failed!
</source>
        <translation>從通訊端讀取映像標頭失敗！
</translation>
    </message>
    <message>
        <source>Image file token is not correct!
</source>
        <translation>映像檔標記不正確！
</translation>
    </message>
    <message>
        <source>Image file version is not correct!
</source>
        <translation>映像檔版本不正確！
</translation>
    </message>
    <message>
        <source>Image Disk Size %1 
</source>
        <translation>映像磁碟大小 %1 
</translation>
    </message>
    <message>
        <source>malloc buffer memory failed!
</source>
        <translation>配置緩衝區記憶體失敗！
</translation>
    </message>
    <message>
        <source>new log table memory failed!
</source>
        <translation>配置日誌表記憶體失敗！
</translation>
    </message>
    <message>
        <source>write image file head failed!
</source>
        <translation>寫入映像檔標頭失敗！
</translation>
    </message>
    <message>
        <source>start write log table ...
</source>
        <translation>開始寫入日誌表...
</translation>
    </message>
    <message>
        <source>read socket log table(%1)failed!
</source>
        <translation>從通訊端讀取日誌表（%1）失敗！
</translation>
    </message>
    <message>
        <source>write log table(%1)failed!
</source>
        <translation>寫入日誌表（%1）失敗！
</translation>
    </message>
    <message>
        <source>start write data ...
</source>
        <translation>開始寫入資料...
</translation>
    </message>
    <message>
        <source>read socket data failed!
</source>
        <translation>從通訊端讀取資料失敗！
</translation>
    </message>
    <message>
        <source>write image data failed!
</source>
        <translation>寫入映像資料失敗！
</translation>
    </message>
    <message>
        <source>read socket image tail failed!
</source>
        <translation>從通訊端讀取映像結尾失敗！
</translation>
    </message>
    <message>
        <source>Image tail token is not correct!
</source>
        <translation>映像結尾標記不正確！
</translation>
    </message>
    <message>
        <source>image checksum is 0x%1
</source>
        <translation>映像總和檢查碼為 0x%1
</translation>
    </message>
    <message>
        <source>write image file tail failed!
</source>
        <translation>寫入映像檔結尾失敗！
</translation>
    </message>
    <message>
        <source>read from %1 cause error!
</source>
        <translation>從 %1 讀取時發生錯誤！
</translation>
    </message>
    <message>
        <source>%1 write error!
</source>
        <translation>%1 寫入錯誤！
</translation>
    </message>
    <message>
        <source>Timeout when writing 
</source>
        <translation>寫入時逾時 
</translation>
    </message>
    <message>
        <source>Unable to write the checksum file %1!
</source>
        <translation>無法寫入校驗檔 %1！
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
        <translation>狀態</translation>
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
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;&lt;span style=&quot; font-family:&apos;Ubuntu&apos;; font-size:10pt;&quot;&gt;機台名稱&lt;/span&gt;&lt;/p&gt;&lt;/td&gt;
&lt;td&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;&lt;span style=&quot; font-family:&apos;Ubuntu&apos;; font-size:10pt;&quot;&gt;$machineName&lt;/span&gt;&lt;/p&gt;&lt;/td&gt;&lt;/tr&gt;
&lt;tr&gt;
&lt;td&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;&lt;span style=&quot; font-family:&apos;Ubuntu&apos;; font-size:10pt;&quot;&gt;型號名稱&lt;/span&gt;&lt;/p&gt;&lt;/td&gt;
&lt;td&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;&lt;span style=&quot; font-family:&apos;Ubuntu&apos;; font-size:10pt;&quot;&gt;$modelName&lt;/span&gt;&lt;/p&gt;&lt;/td&gt;&lt;/tr&gt;
&lt;tr&gt;
&lt;td&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;&lt;span style=&quot; font-family:&apos;Ubuntu&apos;; font-size:10pt;&quot;&gt;廠商名稱&lt;/span&gt;&lt;/p&gt;&lt;/td&gt;
&lt;td&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;&lt;span style=&quot; font-family:&apos;Ubuntu&apos;; font-size:10pt;&quot;&gt;$vendorName&lt;/span&gt;&lt;/p&gt;&lt;/td&gt;&lt;/tr&gt;
&lt;tr&gt;
&lt;td&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;&lt;span style=&quot; font-family:&apos;Ubuntu&apos;; font-size:10pt;&quot;&gt;程式版本&lt;/span&gt;&lt;/p&gt;&lt;/td&gt;
&lt;td&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;&lt;span style=&quot; font-family:&apos;Ubuntu&apos;; font-size:10pt;&quot;&gt;$programVersion&lt;/span&gt;&lt;/p&gt;
&lt;p style=&quot; margin-top:12px; margin-bottom:12px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;&lt;span style=&quot; font-family:&apos;Ubuntu&apos;; font-size:10pt;&quot;&gt;  &lt;/span&gt;&lt;/p&gt;&lt;/td&gt;&lt;/tr&gt;&lt;/table&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>Settings</source>
        <translation>設定</translation>
    </message>
    <message>
        <source>Log</source>
        <translation>日誌</translation>
    </message>
    <message>
        <source>Files in source media</source>
        <translation>來源媒體中的檔案</translation>
    </message>
</context>
<context>
    <name>LogPage</name>
    <message>
        <source>Earlier lines left out: %1</source>
        <translation>已省略較早的行：%1</translation>
    </message>
    <message>
        <source> … %1 more characters</source>
        <translation> … 另有 %1 個字元</translation>
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
        <translation>機台總覽</translation>
    </message>
    <message>
        <source>Global Log</source>
        <translation>全域日誌</translation>
    </message>
    <message>
        <source>Files</source>
        <translation>檔案</translation>
    </message>
    <message>
        <source>toolBar</source>
        <translation>工具列</translation>
    </message>
    <message>
        <source>COPY</source>
        <translation>複製</translation>
    </message>
    <message>
        <source>ERASE</source>
        <translation>抹除</translation>
    </message>
    <message>
        <source>VERIFY</source>
        <translation>校驗</translation>
    </message>
    <message>
        <source>SETUP</source>
        <translation>設定</translation>
    </message>
    <message>
        <source>Upload</source>
        <translation>上傳</translation>
    </message>
    <message>
        <source>Restore Image to all client source devices</source>
        <translation>將映像還原到所有機台的來源裝置</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>停止</translation>
    </message>
    <message>
        <source>Reflash</source>
        <translation>重新連線</translation>
    </message>
    <message>
        <source>COMPARE</source>
        <translation>比對</translation>
    </message>
    <message>
        <source>RESIZE</source>
        <translation>調整大小</translation>
    </message>
    <message>
        <source>BRIEF LOAD</source>
        <translation>精簡載入</translation>
    </message>
    <message>
        <source>FULL LOAD</source>
        <translation>完整載入</translation>
    </message>
    <message>
        <source>Refresh files</source>
        <translation>重新整理檔案</translation>
    </message>
    <message>
        <source>Apply</source>
        <translation>套用</translation>
    </message>
    <message>
        <source>Connection</source>
        <translation>連線</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>錯誤</translation>
    </message>
    <message>
        <source>WARNING</source>
        <translation>警告</translation>
    </message>
    <message>
        <source>Can&apos;t close window because server is busy!
Please abort first
</source>
        <translation>伺服器忙碌中，無法關閉視窗！
請先停止
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
        <translation>伺服器忙碌中！</translation>
    </message>
    <message>
        <source>Please press the Connection button to connect the machine.!</source>
        <translation>請按「連線」按鈕連線機台！</translation>
    </message>
    <message>
        <source>Please select any one Device!</source>
        <translation>請選擇任一裝置！</translation>
    </message>
    <message>
        <source>Machine ID found : %1 
</source>
        <translation>找到機台 ID：%1 
</translation>
    </message>
    <message>
        <source>Device found : %1 
</source>
        <translation>找到裝置：%1 
</translation>
    </message>
    <message>
        <source>Please select one Device!</source>
        <translation>請選擇一個裝置！</translation>
    </message>
    <message>
        <source>Send full image to Server...</source>
        <translation>正在將完整映像傳送到伺服器...</translation>
    </message>
    <message>
        <source>Send image to Server...</source>
        <translation>正在將映像傳送到伺服器...</translation>
    </message>
    <message>
        <source>Please select Device and Refresh files!</source>
        <translation>請選擇裝置並重新整理檔案！</translation>
    </message>
    <message>
        <source>Please Select One File!</source>
        <translation>請選擇一個檔案！</translation>
    </message>
    <message>
        <source>Please Select File!</source>
        <translation>請選擇檔案！</translation>
    </message>
    <message>
        <source>File Not found!</source>
        <translation>找不到檔案！</translation>
    </message>
    <message>
        <source>Please Check file name!
Can not contain space!</source>
        <translation>請檢查檔案名稱！
不能包含空格！</translation>
    </message>
    <message>
        <source>Ask for set image file name %1</source>
        <translation>要求設定映像檔名稱 %1</translation>
    </message>
    <message>
        <source>Please Select Machine Device!</source>
        <translation>請選擇機台的裝置！</translation>
    </message>
    <message>
        <source>UpLoad image file %1 to Server...</source>
        <translation>正在將映像檔 %1 上傳到伺服器...</translation>
    </message>
    <message>
        <source>Ask Range</source>
        <translation>詢問範圍</translation>
    </message>
    <message>
        <source>Would you like to dispatch to all machines connected?</source>
        <translation>是否派送到所有已連線的機台？</translation>
    </message>
    <message>
        <source>Send image to all clients...</source>
        <translation>正在將映像傳送到所有機台...</translation>
    </message>
    <message>
        <source>reading file lists from all machines...</source>
        <translation>正在讀取所有機台的檔案清單...</translation>
    </message>
</context>
<context>
    <name>ProgressDelegate</name>
    <message>
        <source>OK: %1, NG: %2, in progress: %3</source>
        <translation>OK：%1，NG：%2，進行中：%3</translation>
    </message>
    <message>
        <source>unknown</source>
        <translation>未知</translation>
    </message>
    <message>
        <source>Rate: %1 % per minute
Time left: %2</source>
        <translation>速度：每分鐘 %1 %
剩餘時間：%2</translation>
    </message>
</context>
<context>
    <name>RunRecorder</name>
    <message>
        <source>The run records of %1 could not be written to %2: %3
</source>
        <translation>%1 的執行記錄無法寫入 %2：%3
</translation>
    </message>
</context>
<context>
    <name>DispatchSidecarCheck</name>
    <message>
        <source>Checking image file %1 against its checksum file %2...
</source>
        <translation>正在依據校驗檔 %2 檢查映像檔 %1...
</translation>
    </message>
    <message>
        <source>Image file %1 matches its checksum file, SHA-256 %2
</source>
        <translation>映像檔 %1 與其校驗檔相符，SHA-256 %2
</translation>
    </message>
    <message>
        <source>Image file %1 does not match its checksum file %2: SHA-256 of the file is %3, the checksum file states %4. Dispatch refused!
</source>
        <translation>映像檔 %1 與其校驗檔 %2 不符：檔案的 SHA-256 為 %3，校驗檔記載為 %4。已拒絕派送！
</translation>
    </message>
    <message>
        <source>The image file %1 does not match its checksum file: it was changed or damaged after the checksum was written.
Nothing was dispatched.</source>
        <translation>映像檔 %1 與其校驗檔不符：寫入校驗值之後，該檔案已被變更或損壞。
未派送任何內容。</translation>
    </message>
    <message>
        <source>Checksum file %1 is not a SHA-256 line for %2. Dispatch refused!
</source>
        <translation>校驗檔 %1 不是 %2 的 SHA-256 校驗行。已拒絕派送！
</translation>
    </message>
    <message>
        <source>The checksum file %1 cannot be read, or names another file than %2.
Nothing was dispatched.</source>
        <translation>無法讀取校驗檔 %1，或其中記載的不是 %2。
未派送任何內容。</translation>
    </message>
    <message>
        <source>Unable to read image file %1 for its checksum. Dispatch refused!
</source>
        <translation>無法讀取映像檔 %1 以計算校驗值。已拒絕派送！
</translation>
    </message>
    <message>
        <source>Unable to read image file %1!
Nothing was dispatched.</source>
        <translation>無法讀取映像檔 %1！
未派送任何內容。</translation>
    </message>
    <message>
        <source>Checksum check of %1 is stopped. Nothing was dispatched.
</source>
        <translation>%1 的校驗已停止。未派送任何內容。
</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>錯誤</translation>
    </message>
</context>
<context>
    <name>Server</name>
    <message>
        <source>Reject %1: more than one host received connection requirement.
</source>
        <translation>拒絕 %1：不只一個主機位址收到了連線要求。
</translation>
    </message>
    <message>
        <source>Send COPY Command
</source>
        <translation>傳送 COPY 命令
</translation>
    </message>
    <message>
        <source>Send COMPARE Command
</source>
        <translation>傳送 COMPARE 命令
</translation>
    </message>
    <message>
        <source>Send VERIFY Command
</source>
        <translation>傳送 VERIFY 命令
</translation>
    </message>
    <message>
        <source>Send ERASE Command
</source>
        <translation>傳送 ERASE 命令
</translation>
    </message>
    <message>
        <source>Send RESIZE Command
</source>
        <translation>傳送 RESIZE 命令
</translation>
    </message>
    <message>
        <source>net is online
</source>
        <translation>網路已連通
</translation>
    </message>
    <message>
        <source>Opening network session...</source>
        <translation>正在開啟網路工作階段...</translation>
    </message>
    <message>
        <source>Unable to start the server: %1.
</source>
        <translation>無法啟動伺服器：%1。
</translation>
    </message>
    <message>
        <source>The server has IP: %1 
</source>
        <translation>伺服器的 IP：%1 
</translation>
    </message>
    <message>
        <source>The server is running on IP: %1 port: %2
</source>
        <translation>伺服器正在執行，IP：%1，連接埠：%2
</translation>
    </message>
    <message>
        <source>broadcast %1
</source>
        <translation>廣播 %1
</translation>
    </message>
    <message>
        <source>Fails broadcast %1!
</source>
        <translation>廣播 %1 失敗！
</translation>
    </message>
    <message>
        <source>Connect IP: %1 &lt;=&gt; %2 
</source>
        <translation>連線 IP：%1 &lt;=&gt; %2 
</translation>
    </message>
    <message>
        <source>Host Warning</source>
        <translation>主機警告</translation>
    </message>
    <message>
        <source>More than one host received connection requirement.
Reject %1
</source>
        <translation>不只一個主機位址收到了連線要求。
拒絕 %1
</translation>
    </message>
    <message>
        <source>Client %1 is disconnect, remove it!
</source>
        <translation>用戶端 %1 已中斷連線，將其移除！
</translation>
    </message>
    <message>
        <source>Server is been asking terminating!
</source>
        <translation>伺服器已被要求終止！
</translation>
    </message>
    <message>
        <source>Abort client %1!
</source>
        <translation>中止用戶端 %1！
</translation>
    </message>
    <message>
        <source>Abort button is pressed!
</source>
        <translation>已按下「停止」按鈕！
</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>錯誤</translation>
    </message>
    <message>
        <source>Please press the Connection button to connect the machine.!</source>
        <translation>請按「連線」按鈕連線機台！</translation>
    </message>
    <message>
        <source>Create server for listen to client...
</source>
        <translation>正在建立伺服器以監聽用戶端...
</translation>
    </message>
    <message>
        <source>Timeout for listen client!
</source>
        <translation>監聽用戶端逾時！
</translation>
    </message>
    <message>
        <source>Client %1 is connected
</source>
        <translation>用戶端 %1 已連線
</translation>
    </message>
    <message>
        <source>Timeout and no client is connected!
</source>
        <translation>逾時，沒有用戶端連線！
</translation>
    </message>
    <message>
        <source>is terminated!
</source>
        <translation>已終止！
</translation>
    </message>
    <message>
        <source>Refused transfer connection from %1
</source>
        <translation>已拒絕來自 %1 的傳輸連線
</translation>
    </message>
    <message>
        <source>Client %1 has taken no data for %2 seconds!
</source>
        <translation>用戶端 %1 已有 %2 秒未接收任何資料！
</translation>
    </message>
    <message>
        <source>The file name %1 contains a line break and cannot be dispatched!
</source>
        <translation>檔名 %1 含有換行字元，無法派送！
</translation>
    </message>
    <message>
        <source>Flush and wait for disconnect from client %1...
</source>
        <translation>正在清空緩衝區並等待用戶端 %1 中斷連線...
</translation>
    </message>
    <message>
        <source>Timeout and client remains connected!
</source>
        <translation>逾時，用戶端仍保持連線！
</translation>
    </message>
    <message>
        <source>Client is disconnected
</source>
        <translation>用戶端已中斷連線
</translation>
    </message>
    <message>
        <source>Open image file %1 for sending to client.
</source>
        <translation>開啟映像檔 %1 以傳送到用戶端。
</translation>
    </message>
    <message>
        <source>Unable to open file %1!
</source>
        <translation>無法開啟檔案 %1！
</translation>
    </message>
    <message>
        <source>Read and send file head.
</source>
        <translation>讀取並傳送檔案標頭。
</translation>
    </message>
    <message>
        <source>Failed to read image file head!
</source>
        <translation>讀取映像檔標頭失敗！
</translation>
    </message>
    <message>
        <source>Image file token is not correct!
</source>
        <translation>映像檔標記不正確！
</translation>
    </message>
    <message>
        <source>Image file version is not correct!
</source>
        <translation>映像檔版本不正確！
</translation>
    </message>
    <message>
        <source>Image Disk Size %1 
</source>
        <translation>映像磁碟大小 %1 
</translation>
    </message>
    <message>
        <source>error writting image head!
</source>
        <translation>寫入映像標頭時發生錯誤！
</translation>
    </message>
    <message>
        <source>Read and send brief log table.
</source>
        <translation>讀取並傳送精簡日誌表。
</translation>
    </message>
    <message>
        <source>malloc buffer memory failed!
</source>
        <translation>配置緩衝區記憶體失敗！
</translation>
    </message>
    <message>
        <source>new log table memory failed!
</source>
        <translation>配置日誌表記憶體失敗！
</translation>
    </message>
    <message>
        <source>Unable to read logtable from image file at position %1
</source>
        <translation>無法從映像檔的位置 %1 讀取日誌表
</translation>
    </message>
    <message>
        <source>erro writting log table to client!
</source>
        <translation>向用戶端寫入日誌表時發生錯誤！
</translation>
    </message>
    <message>
        <source>send image process is terminated!
</source>
        <translation>傳送映像的程序已終止！
</translation>
    </message>
    <message>
        <source>Read and send image data data to client...
</source>
        <translation>正在讀取映像資料並傳送到用戶端...
</translation>
    </message>
    <message>
        <source>Unable to read image file at position %1!
</source>
        <translation>無法讀取映像檔位置 %1 處的資料！
</translation>
    </message>
    <message>
        <source>Unable to write scoket with image file position %1!
</source>
        <translation>無法將映像檔位置 %1 處的資料寫入通訊端！
</translation>
    </message>
    <message>
        <source>Read and send tail to client.
</source>
        <translation>讀取檔案結尾並傳送到用戶端。
</translation>
    </message>
    <message>
        <source>Failed to read image tail!
</source>
        <translation>讀取映像結尾失敗！
</translation>
    </message>
    <message>
        <source>Image tail token is not correct!
</source>
        <translation>映像結尾標記不正確！
</translation>
    </message>
    <message>
        <source>image checksum is 0x%1
</source>
        <translation>映像總和檢查碼為 0x%1
</translation>
    </message>
    <message>
        <source>Failed to write image tail!
</source>
        <translation>寫入映像結尾失敗！
</translation>
    </message>
    <message>
        <source>Unable to open firmware file %1 !
</source>
        <translation>無法開啟韌體檔案 %1！
</translation>
    </message>
    <message>
        <source>create and write firmware image head to client socket
</source>
        <translation>建立韌體映像標頭並寫入用戶端通訊端
</translation>
    </message>
    <message>
        <source>error writting firmware image head!
</source>
        <translation>寫入韌體映像標頭時發生錯誤！
</translation>
    </message>
    <message>
        <source>Create and write firmware brief log table to client socket
</source>
        <translation>建立韌體精簡日誌表並寫入用戶端通訊端
</translation>
    </message>
    <message>
        <source>erro writting firmware log table!
</source>
        <translation>寫入韌體日誌表時發生錯誤！
</translation>
    </message>
    <message>
        <source>send firmware process is terminated!
</source>
        <translation>傳送韌體的程序已終止！
</translation>
    </message>
    <message>
        <source>Writing firmware, size %1 bytes, to client socket...
</source>
        <translation>正在將韌體（大小 %1 位元組）寫入用戶端通訊端...
</translation>
    </message>
    <message>
        <source>Unable to read firmware file at position %1!
</source>
        <translation>無法讀取韌體檔案位置 %1 處的資料！
</translation>
    </message>
    <message>
        <source>Unable to write scoket with firmware file position %1!
</source>
        <translation>無法將韌體檔案位置 %1 處的資料寫入通訊端！
</translation>
    </message>
    <message>
        <source>Attend devices is </source>
        <translation>參與的裝置為 </translation>
    </message>
    <message>
        <source>Choose image file name</source>
        <translation>選擇映像檔名稱</translation>
    </message>
    <message>
        <source>Images (*.img)</source>
        <translation>映像檔 (*.img)</translation>
    </message>
    <message>
        <source>The file you select will be sent overall devices and force firmware upgrading! Are you sure?</source>
        <translation>所選檔案將傳送到所有裝置並強制升級韌體！確定嗎？</translation>
    </message>
    <message>
        <source>Restore image file %1 to %2 
Are you sure?</source>
        <translation>將映像檔 %1 還原到 %2 
確定嗎？</translation>
    </message>
    <message>
        <source>Restore from %1 to 
%2 Are you sure?</source>
        <translation>將 %1 還原到 
%2 確定嗎？</translation>
    </message>
    <message>
        <source>ERROR</source>
        <translation>錯誤</translation>
    </message>
    <message>
        <source>Fails analysing image file!</source>
        <translation>分析映像檔失敗！</translation>
    </message>
    <message>
        <source>WARNING</source>
        <translation>警告</translation>
    </message>
    <message>
        <source>Writting Method</source>
        <translation>寫入方式</translation>
    </message>
    <message>
        <source>Restore to Image will copy the image file to Source Position. An image file with the same name on the device will be overwritten.
Restore will expand the image file and write the contents to the selected devices. The whole media will be overwritten.
Cancel to do nothing and exit.</source>
        <translation>「還原為映像檔」會將映像檔複製到來源位置，裝置上同名的映像檔將被覆寫。
「還原」會展開映像檔並將內容寫入所選裝置，整個媒體將被覆寫。
「取消」則不執行任何動作並退出。</translation>
    </message>
    <message>
        <source>Restore to Image</source>
        <translation>還原為映像檔</translation>
    </message>
    <message>
        <source>Restore</source>
        <translation>還原</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>Please select one Device!</source>
        <translation>請選擇一個裝置！</translation>
    </message>
    <message>
        <source>Machine %1 is not connected, skipped!
</source>
        <translation>機台 %1 未連線，已略過！
</translation>
    </message>
    <message>
        <source>Ask client %1 for sending file %2,capacity %3, method %4
</source>
        <translation>要求用戶端 %1 傳送檔案 %2，容量 %3，方式 %4
</translation>
    </message>
    <message>
        <source>Command is: </source>
        <translation>命令為： </translation>
    </message>
    <message>
        <source>Fails dispatching image %1!
Process terminate!
</source>
        <translation>派送映像 %1 失敗！
程序已終止！
</translation>
    </message>
    <message>
        <source>Dispatch image</source>
        <translation>派送映像</translation>
    </message>
</context>
<context>
    <name>SetupDialog</name>
    <message>
        <source>Setup</source>
        <translation>設定</translation>
    </message>
    <message>
        <source>Log Opinons</source>
        <translation>日誌選項</translation>
    </message>
    <message>
        <source>Save machines log every rounds</source>
        <translation>每輪儲存機台日誌</translation>
    </message>
    <message>
        <source>Network</source>
        <translation>網路</translation>
    </message>
    <message>
        <source>TCP port</source>
        <translation>TCP 連接埠</translation>
    </message>
    <message>
        <source>UDP port</source>
        <translation>UDP 連接埠</translation>
    </message>
    <message>
        <source>TCP port to port + 2 will be used for communication.</source>
        <translation>將使用 TCP 連接埠至連接埠 + 2 進行通訊。</translation>
    </message>
    <message>
        <source>TTL</source>
        <translation>TTL</translation>
    </message>
    <message>
        <source>Multicast Address</source>
        <translation>多點傳送位址</translation>
    </message>
    <message>
        <source>BlockSize</source>
        <translation>區塊大小</translation>
    </message>
    <message>
        <source>Slice(15 for deciding by program)</source>
        <translation>分片（15 表示由程式決定）</translation>
    </message>
    <message>
        <source>Use Broadcast Port</source>
        <translation>使用廣播連接埠</translation>
    </message>
    <message>
        <source>No Point to Point</source>
        <translation>不使用點對點</translation>
    </message>
    <message>
        <source>Full Duplex</source>
        <translation>全雙工</translation>
    </message>
    <message>
        <source>About</source>
        <translation>關於</translation>
    </message>
    <message>
        <source>English</source>
        <translation>English</translation>
    </message>
    <message>
        <source>Simplified Chinese</source>
        <translation>簡體中文</translation>
    </message>
    <message>
        <source>Traditional Chinese</source>
        <translation>繁體中文</translation>
    </message>
    <message>
        <source>Apply</source>
        <translation>套用</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>RestoreDefaults</source>
        <translation>還原預設值</translation>
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
        <translation>如果變更了任何連接埠號，請重新啟動程式。</translation>
    </message>
</context>
<context>
    <name>devicedialog</name>
    <message>
        <source>Dialog</source>
        <translation>對話方塊</translation>
    </message>
    <message>
        <source>Please Select ONE Device</source>
        <translation>請選擇一個裝置</translation>
    </message>
    <message>
        <source>Ok</source>
        <translation>確定</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>Device Select</source>
        <translation>選擇裝置</translation>
    </message>
</context>
</TS>
