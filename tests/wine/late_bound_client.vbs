' A script host's view of the component: created by its ProgID, called by name through IDispatch. Prints one
' line per failed check and ends with "checks failed: N"; the exit code is N.
Option Explicit

Dim failures
failures = 0

Sub Check(ok, what)
    If Not ok Then
        WScript.Echo "FAILED: " & what
        failures = failures + 1
    End If
End Sub

' The call's result and Err.Number, for calls that may fail. Channel and Value are Longs by reference, so a
' script passes Longs (a variable holding an Integer would be a type mismatch, as with any such component).
Dim lastDescription
Function SetChannelNumber(driver, channel, value, ByRef result)
    On Error Resume Next
    Err.Clear
    result = Empty
    result = driver.SetChannel(CLng(channel), CLng(value))
    SetChannelNumber = Err.Number
    lastDescription = Err.Description
    On Error GoTo 0
End Function

Dim driver, result, number, helper, title, file
Set driver = CreateObject("Zandorvex.clsOutputDriver")
Check driver.PluginName() = "Vantor Driver", "PluginName is ""Vantor Driver"", got """ & driver.PluginName() & """"
Check TypeName(driver.PluginName()) = "String", "PluginName is a String"

' Channels 1 to 512 are stored, 0 and 513 refused without a failure.
Dim channels, expected, index
channels = Array(0, 1, 512, 513)
expected = Array(False, True, True, False)
For index = 0 To 3
    number = SetChannelNumber(driver, channels(index), 10, result)
    Check number = 0, "SetChannel " & channels(index) & ", 10 raises no error, got " & number
    Check result = expected(index), "SetChannel " & channels(index) & ", 10 returns " & expected(index)
Next

' Levels 0 to 255 fit; 256 and -1 overflow: run-time error 6.
number = SetChannelNumber(driver, 5, 255, result)
Check number = 0 And result = True, "SetChannel 5, 255 returns True"
Dim bad
For Each bad In Array(256, -1)
    number = SetChannelNumber(driver, 5, bad, result)
    Check number = 6, "SetChannel 5, " & bad & " raises error 6, got " & number
    Check lastDescription = "Overflow", "SetChannel 5, " & bad & " is described as Overflow: " & lastDescription
    Check IsEmpty(result), "SetChannel 5, " & bad & " returns nothing"
Next

' Booleans come back as True and False, which are -1 and 0.
result = driver.Configure()
Check TypeName(result) = "Boolean" And result = False And CInt(result) = 0, "Configure returns False (0)"
result = driver.Enable()
Check TypeName(result) = "Boolean" And result = True And CInt(result) = -1, "Enable returns True (-1)"
result = driver.Disable()
Check result = True And CInt(result) = -1, "Disable returns True (-1)"

' init takes any automation object as the host's helper.
Set helper = CreateObject("Scripting.Dictionary")
title = "late-bound client"
file = "vantor.out.dll"
result = driver.init(title, file, helper)
Check TypeName(result) = "Boolean" And result = False, "init returns False"
Check driver.PluginName() = "Vantor Driver", "PluginName after init"
result = driver.Term()
Check result = False And CInt(result) = 0, "Term returns False (0)"

Set driver = Nothing
WScript.Echo "checks failed: " & failures
WScript.Quit failures
