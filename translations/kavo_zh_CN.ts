<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>CAboutDlg</name>
    <message>
        <location filename="../app/CAboutDlg.cpp" line="+10"/>
        <source>About KAVO</source>
        <translation>关于 KAVO</translation>
    </message>
    <message>
        <location line="+14"/>
        <source>Lighting setup for the 3-camera, 8-channel LED controller</source>
        <translation>三相机八通道 LED 照明控制器的设置工具</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>OK</source>
        <translation>确定</translation>
    </message>
</context>
<context>
    <name>CFormSetup</name>
    <message>
        <location filename="../ui/FormSetupTexts.cpp" line="+31"/>
        <source>Close Port</source>
        <translation>关闭串口</translation>
    </message>
    <message>
        <location filename="../ui/FormSetupBuilder.cpp" line="+76"/>
        <source>Keep this adapter&apos;s name</source>
        <translation>保留此适配器的名称</translation>
    </message>
    <message>
        <location line="+28"/>
        <source>Live</source>
        <translation>实时</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Send every change to the controller as it is made</source>
        <translation>每次修改立即发送到控制器</translation>
    </message>
    <message>
        <location filename="../ui/CFormSetup.cpp" line="+150"/>
        <source>The name %1 could not be kept: %2.</source>
        <translation>无法保留名称 %1：%2。</translation>
    </message>
    <message>
        <location filename="../ui/FormSetupTexts.cpp" line="+15"/>
        <source>The adapter of %1 was unplugged: %2.
The port is closed; plug the adapter in and press Open Port.</source>
        <translation>%1 的适配器已拔出：%2。
串口已关闭；请插入适配器并按“打开串口”。</translation>
    </message>
    <message>
        <location line="+6"/>
        <source>Live is off; the controller may not hold the last change. Tick Live again after Open Port.</source>
        <translation>实时已关闭；控制器可能未保存最后的修改。打开串口后请重新勾选“实时”。</translation>
    </message>
    <message>
        <location line="+11"/>
        <source>a download is already running</source>
        <translation>已有下载正在进行</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>the system could not start the download thread</source>
        <translation>系统无法启动下载线程</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>there is no port to write to</source>
        <translation>没有可写入的串口</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>The download could not be started: %1.</source>
        <translation>无法开始下载：%1。</translation>
    </message>
    <message>
        <location line="+9"/>
        <source>plug the adapter in (or check the cable), open the port and download again.</source>
        <translation>请插上适配器（或检查电缆），打开串口后重新下载。</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>download again.</source>
        <translation>请重新下载。</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>The controller holds an incomplete recipe; %1</source>
        <translation>控制器中的配方不完整；%1</translation>
    </message>
    <message>
        <location line="+6"/>
        <source>Plug the adapter in (or check the cable), open the port and tick Live again.</source>
        <translation>请插入适配器（或检查电缆），打开串口并重新勾选“实时”。</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Tick Live to send changes again.</source>
        <translation>勾选“实时”以重新发送修改。</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Sending a live frame to %1 failed: %2.
Live is off; the controller may not hold the last change. %3</source>
        <translation>向 %1 发送实时帧失败：%2。
实时已关闭；控制器可能未保存最后的修改。%3</translation>
    </message>
    <message>
        <location filename="../ui/FormSetupLayout.cpp" line="+20"/>
        <source>CH Dim Value</source>
        <translation>通道亮度值</translation>
    </message>
    <message>
        <location line="+19"/>
        <source>Download</source>
        <translation>下载</translation>
    </message>
    <message>
        <location line="-25"/>
        <source>Position</source>
        <translation>位置</translation>
    </message>
    <message>
        <location line="-4"/>
        <source>Camera</source>
        <translation>相机</translation>
    </message>
    <message>
        <location filename="../ui/FormSetupLayout.h" line="+22"/>
        <source>Open Port</source>
        <translation>打开串口</translation>
    </message>
</context>
<context>
    <name>CLevelEdit</name>
    <message>
        <location filename="../ui/CLevelEdit.cpp" line="+16"/>
        <source>Type a level from 1 to 255; Enter or leaving the field takes it, Escape keeps the level.</source>
        <translation>输入 1 到 255 之间的亮度；按 Enter 或离开输入框即生效，按 Esc 保留原亮度。</translation>
    </message>
</context>
<context>
    <name>CMYView1</name>
    <message>
        <location filename="../ui/CMYView1.cpp" line="+61"/>
        <source> CH = %1</source>
        <translation> 通道数 = %1</translation>
    </message>
    <message>
        <location line="+1"/>
        <source> Step = %1</source>
        <translation> 步数 = %1</translation>
    </message>
    <message>
        <location line="+8"/>
        <source>Current Camera is: %1</source>
        <translation>当前相机：%1</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Current Position is: %1</source>
        <translation>当前位置：%1</translation>
    </message>
    <message>
        <location line="+57"/>
        <source> x = %1  y = %2</source>
        <translation> x = %1  y = %2</translation>
    </message>
</context>
<context>
    <name>CRecipeEditor</name>
    <message>
        <location filename="../ui/CRecipeEditor.cpp" line="+122"/>
        <source>Slider</source>
        <translation>滑块</translation>
    </message>
    <message>
        <location line="+35"/>
        <source>Level</source>
        <translation>亮度</translation>
    </message>
    <message>
        <location line="+13"/>
        <source>Pattern</source>
        <translation>图案</translation>
    </message>
    <message>
        <location line="+86"/>
        <source>The clipboard holds no position that can be pasted.
%1</source>
        <translation>剪贴板中没有可粘贴的位置数据。
%1</translation>
    </message>
</context>
<context>
    <name>CSheetPrinter</name>
    <message>
        <location filename="../app/CSheetPrinter.cpp" line="+54"/>
        <source>%1 is the recipe being printed: the sheet was not written there.</source>
        <translation>%1 是正在打印的配方：打印页未写入该文件。</translation>
    </message>
    <message>
        <location line="+23"/>
        <location line="+34"/>
        <source>The recipe could not be printed on %1.</source>
        <translation>无法在 %1 上打印配方。</translation>
    </message>
    <message>
        <location line="+40"/>
        <source>No printer is set up on this computer: the recipe was not printed.</source>
        <translation>此计算机上没有设置打印机：配方未打印。</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>The printer %1 was not found: the recipe was not printed.</source>
        <translation>找不到打印机 %1：配方未打印。</translation>
    </message>
</context>
<context>
    <name>CloseGuard</name>
    <message>
        <location filename="../app/CloseGuard.cpp" line="+17"/>
        <source>A download is running. Stop it? The controller will hold an incomplete recipe.</source>
        <translation>正在下载。要停止吗？控制器中的配方将不完整。</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Wait</source>
        <translation>等待</translation>
    </message>
    <message>
        <location line="+0"/>
        <source>Stop</source>
        <translation>停止</translation>
    </message>
</context>
<context>
    <name>CommandActions</name>
    <message>
        <location filename="../app/CommandActions.cpp" line="+41"/>
        <source>&amp;New</source>
        <translation>新建(&amp;N)</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>&amp;Open...</source>
        <translation>打开(&amp;O)...</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>&amp;Save</source>
        <translation>保存(&amp;S)</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Save &amp;As...</source>
        <translation>另存为(&amp;A)...</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>&amp;Print...</source>
        <translation>打印(&amp;P)...</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Print Pre&amp;view</source>
        <translation>打印预览(&amp;V)</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>P&amp;rint Setup...</source>
        <translation>打印设置(&amp;R)...</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>E&amp;xit</source>
        <translation>退出(&amp;X)</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>&amp;Undo</source>
        <translation>撤消(&amp;U)</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>&amp;Redo</source>
        <translation>重做(&amp;R)</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>Cu&amp;t</source>
        <translation>剪切(&amp;T)</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>&amp;Copy</source>
        <translation>复制(&amp;C)</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>&amp;Paste</source>
        <translation>粘贴(&amp;P)</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>&amp;Toolbar</source>
        <translation>工具栏(&amp;T)</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>&amp;Status Bar</source>
        <translation>状态栏(&amp;S)</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>&amp;About KAVO...</source>
        <translation>关于 KAVO(&amp;A)...</translation>
    </message>
    <message>
        <location line="+26"/>
        <source>&amp;File</source>
        <translation>文件(&amp;F)</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>&amp;Edit</source>
        <translation>编辑(&amp;E)</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>&amp;View</source>
        <translation>视图(&amp;V)</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>&amp;Help</source>
        <translation>帮助(&amp;H)</translation>
    </message>
    <message>
        <location line="+147"/>
        <source>The command could not be carried out: %1</source>
        <translation>无法执行该命令：%1</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>The command could not be carried out.</source>
        <translation>无法执行该命令。</translation>
    </message>
</context>
<context>
    <name>ControllerSession</name>
    <message>
        <location filename="../session/ControllerSession.cpp" line="+33"/>
        <source>The download journal can&apos;t be written: %1</source>
        <translation>无法写入下载日志：%1</translation>
    </message>
    <message>
        <location line="+179"/>
        <source>Download complete: %1 frames</source>
        <translation>下载完成：%1 帧</translation>
    </message>
    <message>
        <location line="+67"/>
        <source>Controller: unknown (the port was closed since the last write from here)</source>
        <translation>控制器：未知（自本程序上次写入后串口曾关闭）</translation>
    </message>
    <message>
        <location line="+11"/>
        <source>Controller: receiving a download</source>
        <translation>控制器：正在接收下载</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Controller: unknown (last download did not finish)</source>
        <translation>控制器：未知（上次下载未完成）</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Controller: not yet written from here</source>
        <translation>控制器：尚未从此处写入</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Controller: unknown (only %1 of %2 settings written from here)</source>
        <translation>控制器：未知（仅从此处写入了 %2 项设置中的 %1 项）</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Controller: matches this recipe</source>
        <translation>控制器：与此配方一致</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Controller: 1 setting differs from this recipe</source>
        <translation>控制器：有 1 项设置与此配方不同</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Controller: %1 settings differ from this recipe</source>
        <translation>控制器：有 %1 项设置与此配方不同</translation>
    </message>
    <message>
        <location filename="../session/ControllerSessionLive.cpp" line="+84"/>
        <source>Position %1 has no controller address: its changes are not sent live.</source>
        <translation>位置 %1 没有控制器地址：其修改不会实时发送。</translation>
    </message>
</context>
<context>
    <name>DownloadWorker</name>
    <message>
        <location filename="../download/DownloadWorker.cpp" line="+32"/>
        <source>writing frame %1 of %2 to %3 failed: %4</source>
        <translation>向 %3 写入第 %1 帧（共 %2 帧）失败：%4</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>the %1 frames written to %2 did not leave the port: %3</source>
        <translation>写入 %2 的 %1 帧未能从串口发出：%3</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>all %1 frames were written to %2, then the download failed: %3</source>
        <translation>全部 %1 帧已写入 %2，随后下载失败：%3</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>the download to %1 failed before the first frame: %2</source>
        <translation>向 %1 的下载在第一帧之前就失败了：%2</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>the download to %1 stopped after frame %2 of %3: %4</source>
        <translation>向 %1 的下载在第 %2 帧（共 %3 帧）之后中止：%4</translation>
    </message>
    <message>
        <location line="+102"/>
        <source>write failed</source>
        <translation>写入失败</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>only %1 of %2 bytes were written</source>
        <translation>%2 字节中只写入了 %1 字节</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>the port reported %1 bytes written for %2</source>
        <translation>串口报告写入 %2 字节时写入了 %1 字节</translation>
    </message>
    <message>
        <location line="+27"/>
        <source>the frames were still queued</source>
        <translation>帧仍在队列中</translation>
    </message>
</context>
<context>
    <name>FileDialogs</name>
    <message>
        <location filename="../framework/FileDialogs.cpp" line="+21"/>
        <source>All Files (*.*)</source>
        <translation>所有文件 (*.*)</translation>
    </message>
</context>
<context>
    <name>PortDoctor</name>
    <message>
        <location filename="../ports/PortDoctor_linux.cpp" line="+155"/>
        <source>pseudo-terminal master</source>
        <translation>伪终端主端</translation>
    </message>
    <message>
        <location line="+49"/>
        <source>Permission denied for %1: %2 is a pseudo-terminal (%4) that belongs to %5, the user of %6 at its other end, which made it: run this program as that user, or have the program at the other end give access to it.</source>
        <translation>%1 权限被拒绝：%2 是一个伪终端（%4），属于创建它的另一端程序 %6 的用户 %5：请以该用户身份运行本程序，或让另一端的程序授予访问权限。</translation>
    </message>
    <message>
        <location line="+6"/>
        <source>the program</source>
        <translation>该程序</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Permission denied for %1: %2 belongs to group %3 (%4); you are in the %3 group in /etc/group but not yet in this session: log out and in (or run newgrp %3).</source>
        <translation>无权访问 %1：%2 属于 %3 组（%4）；/etc/group 中您已在 %3 组，但本次会话中尚未生效：请注销并重新登录（或运行 newgrp %3）。</translation>
    </message>
    <message>
        <location line="+9"/>
        <source>Permission denied for %1: %2 belongs to group %3 (%4) and you are not in it: add yourself to the %3 group (sudo usermod -aG %3 $USER), then log out and in.</source>
        <translation>无权访问 %1：%2 属于 %3 组（%4），而您不在该组中：请将自己加入 %3 组（sudo usermod -aG %3 $USER），然后注销并重新登录。</translation>
    </message>
    <message>
        <location line="+10"/>
        <source>Permission denied for %1: %2 belongs to group %3 (%4), which gives no group access: ask the administrator to install the udev rule that gives the logged-in user access to USB serial adapters.</source>
        <translation>无权访问 %1：%2 属于 %3 组（%4），但该组没有访问权限：请管理员安装允许已登录用户访问 USB 串口适配器的 udev 规则。</translation>
    </message>
    <message>
        <location line="+8"/>
        <source>Permission denied for %1: %2 belongs to group %3 (%4), which gives no group access: ask the administrator to give the dialout group read and write access to it (sudo chgrp dialout %2; sudo chmod 660 %2, or a udev rule that does so at every start), then add yourself to the dialout group.</source>
        <translation>%1 权限被拒绝：%2 属于组 %3（%4），该组没有访问权限：请管理员给 dialout 组读写权限（sudo chgrp dialout %2; sudo chmod 660 %2，或用每次启动时执行此设置的 udev 规则），然后把自己加入 dialout 组。</translation>
    </message>
    <message>
        <location line="+35"/>
        <source>flock</source>
        <translation>flock 锁</translation>
    </message>
    <message>
        <location line="+0"/>
        <source>lock</source>
        <translation>文件锁</translation>
    </message>
    <message>
        <location line="+41"/>
        <source>open descriptor</source>
        <translation>打开的文件描述符</translation>
    </message>
    <message>
        <location filename="../ports/PortDoctor.cpp" line="+15"/>
        <source>an unknown program</source>
        <translation>一个未知程序</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>a program</source>
        <translation>某个程序</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>%1 (PID %2)</source>
        <translation>%1（PID %2）</translation>
    </message>
    <message>
        <location filename="../ports/PortDoctor_linux.cpp" line="+99"/>
        <source>lock file %1</source>
        <translation>锁文件 %1</translation>
    </message>
    <message>
        <location line="+77"/>
        <source>%1 was not found: the adapter may be unplugged, or no device has that name.</source>
        <translation>未找到 %1：适配器可能已拔出，或者没有该名称的设备。</translation>
    </message>
    <message>
        <location line="+14"/>
        <source>%1 is marked in use by the lock file %2, which cannot be read (%3), so the program holding the port cannot be told and the port is left alone. If no program uses %1, remove the file: sudo rm %2</source>
        <translation>%1 被锁文件 %2 标记为正在使用，但该文件无法读取（%3），因此无法得知占用端口的程序，端口保持不动。如果没有程序在使用 %1，请删除该文件：sudo rm %2</translation>
    </message>
    <message>
        <location line="+8"/>
        <source>%1 is in use by another program: %2 holds it (%3); close that program and try again.</source>
        <translation>%1 正被另一个程序使用：%2 占用着它（%3）；请关闭该程序后重试。</translation>
    </message>
    <message>
        <location line="+8"/>
        <source>The lock file %1 names no process; it is ignored (remove it: sudo rm %1).</source>
        <translation>锁文件 %1 未指明任何进程；已忽略（删除它：sudo rm %1）。</translation>
    </message>
    <message>
        <location line="+6"/>
        <source>A stale lock file %1 names PID %2, which no longer runs; it is ignored (remove it: sudo rm %1).</source>
        <translation>过期的锁文件 %1 指向已不再运行的 PID %2；已忽略该文件（可将其删除：sudo rm %1）。</translation>
    </message>
    <message>
        <location line="+8"/>
        <source>ModemManager is running and is not told to leave this adapter (%1) alone: it probes USB serial adapters with AT commands when they are plugged in. Install a udev rule that sets ENV{ID_MM_DEVICE_IGNORE}=&quot;1&quot; for it (the package&apos;s rule does for common chips), or stop it: sudo systemctl disable --now ModemManager.</source>
        <translation>ModemManager 正在运行，且未被设置为忽略此适配器（%1）：USB 串口适配器插入时，它会用 AT 命令探测。请安装一条为该适配器设置 ENV{ID_MM_DEVICE_IGNORE}=&quot;1&quot; 的 udev 规则（软件包自带的规则已涵盖常见芯片），或将其停止：sudo systemctl disable --now ModemManager。</translation>
    </message>
    <message>
        <location line="+13"/>
        <source>brltty is installed and its udev rules (%1) claim this adapter (%2): it takes the port when the adapter is plugged in. Without a braille display here, remove it: sudo apt remove brltty.</source>
        <translation>已安装 brltty，其 udev 规则（%1）认领了此适配器（%2）：适配器插入时它会占用该串口。如果这里没有盲文显示器，请将其卸载：sudo apt remove brltty。</translation>
    </message>
</context>
<context>
    <name>PortError</name>
    <message>
        <location filename="../serial/CSerialPortBase.cpp" line="+10"/>
        <source>unknown error</source>
        <translation>未知错误</translation>
    </message>
    <message>
        <location line="+0"/>
        <source>success</source>
        <translation>成功</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>general error</source>
        <translation>一般错误</translation>
    </message>
    <message>
        <location line="+0"/>
        <source>not implemented error</source>
        <translation>功能未实现错误</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>innet error</source>
        <translation>内部错误</translation>
    </message>
    <message>
        <location line="+0"/>
        <source>null pointer error</source>
        <translation>空指针错误</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>invalid param error</source>
        <translation>参数无效错误</translation>
    </message>
    <message>
        <location line="+0"/>
        <source>access denied error</source>
        <translation>拒绝访问错误</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>out of memory error</source>
        <translation>内存不足错误</translation>
    </message>
    <message>
        <location line="+0"/>
        <source>timeout error</source>
        <translation>超时错误</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>not init error</source>
        <translation>未初始化错误</translation>
    </message>
    <message>
        <location line="+0"/>
        <source>init failed error</source>
        <translation>初始化失败错误</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>already exist error</source>
        <translation>已存在错误</translation>
    </message>
    <message>
        <location line="+0"/>
        <source>not exist error</source>
        <translation>不存在错误</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>already open error</source>
        <translation>已打开错误</translation>
    </message>
    <message>
        <location line="+0"/>
        <source>not open error</source>
        <translation>未打开错误</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>open failed error</source>
        <translation>打开失败错误</translation>
    </message>
    <message>
        <location line="+0"/>
        <source>close failed error</source>
        <translation>关闭失败错误</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>write failed error</source>
        <translation>写入失败错误</translation>
    </message>
    <message>
        <location line="+0"/>
        <source>read failed error</source>
        <translation>读取失败错误</translation>
    </message>
    <message>
        <location line="+7"/>
        <source>undefined error code</source>
        <translation>未定义的错误代码</translation>
    </message>
</context>
<context>
    <name>PortWording</name>
    <message>
        <location filename="../serial/PortWording.cpp" line="+25"/>
        <source>the adapter was unplugged or the line hung up</source>
        <translation>适配器已被拔出或线路已挂断</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>the line stopped draining: the controller or the adapter is not taking the data</source>
        <translation>线路停止输出：控制器或适配器没有接收数据</translation>
    </message>
    <message>
        <location line="+8"/>
        <source>No serial port is selected: no port was found on this computer.</source>
        <translation>未选择串口：这台计算机上没有找到任何串口。</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>%1 was not found: the adapter may be unplugged.</source>
        <translation>未找到 %1：适配器可能已拔出。</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>%1 is in use by another program.</source>
        <translation>%1 正被另一个程序使用。</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Permission denied for %1: add the user to the dialout group (sudo usermod -aG dialout $USER) and log in again.</source>
        <translation>无权访问 %1：请将用户加入 dialout 组（sudo usermod -aG dialout $USER）并重新登录。</translation>
    </message>
    <message>
        <location line="+6"/>
        <source>%1 refused the line settings (115200 baud, 8 data bits, no parity, 1 stop bit).</source>
        <translation>%1 拒绝了线路设置（115200 波特，8 个数据位，无校验，1 个停止位）。</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>%1 could not be opened: %2.</source>
        <translation>无法打开 %1：%2。</translation>
    </message>
</context>
<context>
    <name>PositionFormats</name>
    <message>
        <location filename="../recipe/PositionFormats.cpp" line="+49"/>
        <source>Line %1: %2</source>
        <translation>第 %1 行：%2</translation>
    </message>
    <message>
        <location line="+7"/>
        <source>The text is %1 KiB long; a position&apos;s text is at most %2 KiB.</source>
        <translation>文本长 %1 KiB；一个位置的文本最多 %2 KiB。</translation>
    </message>
    <message>
        <location line="+21"/>
        <source>expected a channel, a level and 16 steps, such as &quot;CH1  255  ##..............&quot;, not &quot;%1&quot;.</source>
        <translation>应为通道、亮度和 16 个步骤，例如“CH1  255  ##..............”，而不是“%1”。</translation>
    </message>
    <message>
        <location line="+9"/>
        <source>&quot;%1&quot; is no channel (CH1 to CH24).</source>
        <translation>“%1”不是通道（CH1 到 CH24）。</translation>
    </message>
    <message>
        <location line="+6"/>
        <source>channel %1 comes a second time (first on line %2).</source>
        <translation>通道 %1 重复出现（首次在第 %2 行）。</translation>
    </message>
    <message>
        <location line="+8"/>
        <source>the level &quot;%1&quot; is not a number from 1 to 255.</source>
        <translation>亮度“%1”不是 1 到 255 之间的数字。</translation>
    </message>
    <message>
        <location line="+15"/>
        <source>the steps &quot;%1&quot; are not 16 marks of &apos;#&apos; (lit) and &apos;.&apos; (dark).</source>
        <translation>步骤“%1”不是由 16 个“#”（亮）和“.”（暗）组成的标记。</translation>
    </message>
    <message>
        <location line="+12"/>
        <source>Channel %1 is missing: the text needs one line for each of the 8 channels.</source>
        <translation>缺少通道 %1：文本需要 8 个通道各一行。</translation>
    </message>
    <message>
        <location line="+35"/>
        <source>Channel %1: the level 0 is not a number from 1 to 255.</source>
        <translation>通道 %1：亮度 0 不是 1 到 255 之间的数字。</translation>
    </message>
</context>
<context>
    <name>RecentFilesMenu</name>
    <message>
        <location filename="../app/RecentFilesMenu.cpp" line="+13"/>
        <source>Recent File</source>
        <translation>最近的文件</translation>
    </message>
</context>
<context>
    <name>RecipeFile</name>
    <message>
        <location filename="../recipe/RecipeFile.cpp" line="+60"/>
        <source>%1 is 1 byte; a recipe file is %2 bytes.</source>
        <translation>%1 只有 1 个字节；配方文件应为 %2 个字节。</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>%1 is %2 bytes; a recipe file is %3 bytes.</source>
        <translation>%1 只有 %2 个字节；配方文件应为 %3 个字节。</translation>
    </message>
    <message>
        <location line="+27"/>
        <source>%1 channels 1-8: 0</source>
        <translation>%1 通道 1-8：0</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>%1 channel %2: 0</source>
        <translation>%1 通道 %2：0</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>%1 channels %2: 0</source>
        <translation>%1 通道 %2：0</translation>
    </message>
    <message>
        <location line="+8"/>
        <source>... and %1 more positions</source>
        <translation>……另有 %1 个位置</translation>
    </message>
    <message>
        <location line="+6"/>
        <source>%1 holds a level outside 1 to 255.</source>
        <translation>%1 含有一个超出 1 到 255 的亮度。</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>%1 holds %2 levels outside 1 to 255.</source>
        <translation>%1 含有 %2 个超出 1 到 255 的亮度。</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>They are kept as they are and downloaded so; a slider or a typed level sets 1 to 255.</source>
        <translation>这些值保持原样并按原样下载；滑块或输入的亮度只能设为 1 到 255。</translation>
    </message>
</context>
<context>
    <name>RecipeSheet</name>
    <message>
        <location filename="../print/RecipeSheet.cpp" line="+67"/>
        <source>Unsaved changes</source>
        <translation>有未保存的更改</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>Position 5 is kept in the file but not downloaded to the controller.</source>
        <translation>位置 5 保存在文件中，但不会下载到控制器。</translation>
    </message>
    <message>
        <location line="+62"/>
        <source>Printed %1</source>
        <translation>打印于 %1</translation>
    </message>
    <message>
        <location line="+7"/>
        <source>SHA-256 of the file image: %1</source>
        <translation>文件映像的 SHA-256：%1</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Camera %1</source>
        <translation>相机 %1</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Page %1 of %2</source>
        <translation>第 %1 页，共 %2 页</translation>
    </message>
    <message>
        <location line="+12"/>
        <source>Position %1</source>
        <translation>位置 %1</translation>
    </message>
    <message>
        <location line="+8"/>
        <source>(kept in the file, not downloaded)</source>
        <translation>（保存在文件中，不下载）</translation>
    </message>
    <message>
        <location line="+6"/>
        <source>Channel</source>
        <translation>通道</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Level</source>
        <translation>亮度</translation>
    </message>
</context>
<context>
    <name>StringTable</name>
    <message>
        <location filename="../framework/core/StringTable.cpp" line="+13"/>
        <source>OLE initialization failed.  Make sure that the OLE libraries are the correct version.</source>
        <translation>OLE 初始化失败。请确认 OLE 库的版本正确。</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>ch quantity</source>
        <translation>通道数</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>step quantity</source>
        <translation>步数</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>coordinate</source>
        <translation>坐标</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>KAVO

KAVO
KAVO Files (*.aid)
.aid
KAVO.Document
KAVO.Document</source>
        <translation>KAVO

KAVO
KAVO 文件 (*.aid)
.aid
KAVO.Document
KAVO.Document</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>KAVO</source>
        <translation>KAVO</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Ready</source>
        <translation>就绪</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Untitled</source>
        <translation>无标题</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Failed to open document.</source>
        <translation>无法打开文档。</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Failed to save document.</source>
        <translation>无法保存文档。</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Save changes to %1?</source>
        <translation>是否保存对 %1 的更改？</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Failed to create empty document.</source>
        <translation>无法创建空文档。</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Unexpected file format.</source>
        <translation>意外的文件格式。</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>An unexpected error occurred while accessing %1.</source>
        <translation>访问 %1 时发生意外错误。</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>%1 was not found.</source>
        <translation>找不到 %1。</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>%1 contains an invalid path.</source>
        <translation>%1 包含无效的路径。</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>%1 could not be opened because there are too many open files.</source>
        <translation>无法打开 %1，因为打开的文件太多。</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Access to %1 was denied.</source>
        <translation>拒绝访问 %1。</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>An invalid file handle was associated with %1.</source>
        <translation>%1 关联了无效的文件句柄。</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>%1 could not be removed because it is the current directory.</source>
        <translation>无法删除 %1，因为它是当前目录。</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>%1 could not be created because the directory is full.</source>
        <translation>无法创建 %1，因为目录已满。</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Seek failed on %1</source>
        <translation>在 %1 上定位失败</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>A hardware I/O error was reported while accessing %1.</source>
        <translation>访问 %1 时报告了硬件 I/O 错误。</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>A sharing violation occurred while accessing %1.</source>
        <translation>访问 %1 时发生共享冲突。</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>A locking violation occurred while accessing %1.</source>
        <translation>访问 %1 时发生锁定冲突。</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Disk full while accessing %1.</source>
        <translation>访问 %1 时磁盘已满。</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>An attempt was made to access %1 past its end.</source>
        <translation>试图越过 %1 的末尾进行访问。</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>%1 is a FIFO, not a document file.</source>
        <translation>%1 是 FIFO，不是文档文件。</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>%1 is a socket, not a document file.</source>
        <translation>%1 是套接字，不是文档文件。</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>%1 is a device, not a document file.</source>
        <translation>%1 是设备，不是文档文件。</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Create a new document
New</source>
        <translation>创建新文档
新建</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Open an existing document
Open</source>
        <translation>打开现有文档
打开</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Close the active document
Close</source>
        <translation>关闭活动文档
关闭</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Save the active document
Save</source>
        <translation>保存活动文档
保存</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Save the active document with a new name
Save As</source>
        <translation>用新名称保存活动文档
另存为</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Change the printer and printing options
Print Setup</source>
        <translation>更改打印机和打印选项
打印设置</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Print the active document
Print</source>
        <translation>打印活动文档
打印</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Print the active document using current options
Quick Print</source>
        <translation>使用当前选项打印活动文档
快速打印</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Display full pages
Print Preview</source>
        <translation>显示整页
打印预览</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Copy the selection and put it on the Clipboard
Copy</source>
        <translation>复制所选内容并将其放到剪贴板上
复制</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Cut the selection and put it on the Clipboard
Cut</source>
        <translation>剪切所选内容并将其放到剪贴板上
剪切</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Insert Clipboard contents
Paste</source>
        <translation>插入剪贴板内容
粘贴</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Undo the last action
Undo</source>
        <translation>撤消上一个操作
撤消</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Redo the previously undone action
Redo</source>
        <translation>重做上一个撤消的操作
重做</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Display program information, version number and copyright
About</source>
        <translation>显示程序信息、版本号和版权
关于</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Quit the application; prompts to save documents
Exit</source>
        <translation>退出应用程序；提示保存文档
退出</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Switch to the next window pane
Next Pane</source>
        <translation>切换到下一个窗格
下一窗格</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Switch back to the previous window pane
Previous Pane</source>
        <translation>切换回上一个窗格
上一窗格</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Show or hide the toolbar
Toggle ToolBar</source>
        <translation>显示或隐藏工具栏
切换工具栏</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Show or hide the status bar
Toggle Status Bar</source>
        <translation>显示或隐藏状态栏
切换状态栏</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>CAP</source>
        <translation>大写</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>NUM</source>
        <translation>数字</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>SCRL</source>
        <translation>滚动</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>All LED Off</source>
        <translation>全部 LED 关</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>All LED ON</source>
        <translation>全部 LED 开</translation>
    </message>
    <message>
        <location line="+9"/>
        <source>Open this document</source>
        <translation>打开此文档</translation>
    </message>
</context>
</TS>
